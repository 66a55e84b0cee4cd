#include "coordinator/coordinator.h"

#include <algorithm>

#include "common/codes.h"
#include "common/failure.h"
#include "common/text.h"
#include "common/time_text.h"
#include "coordinator/coordinator_steps.h"
#include "coordinator/installation_identity.h"
#include "coordinator/quarantine_recovery.h"
#include "coordinator/resolve_request.h"
#include "documents/manifest_signature.h"
#include "platform/named_mutex.h"
#include "release/assembly.h"
#include "release/staging.h"
#include "release/verification.h"
#include "storage/coordinator_lock.h"
#include "storage/files.h"
#include "storage/paths.h"
#include "storage/release_id.h"
#include "storage/version_state.h"

namespace tallybell {
namespace {

// Everything a run knows once it holds the lock.
struct 运行上下文 {
  const 更新协调器配置& 配置;
  JsonHttp传输* json;
  下载传输* 下载;
  更新协调器结果* 结果;
  std::wstring* 错误;
  本地版本状态 状态;
  std::string 设备标识;
  版本策略 策略;
};

// Compares the policy's version with the state's and stores a newer policy.
// Returns 0 to go on, or the code to end the run with (olderPolicyIgnored is then set
// for the one non-failure outcome).
std::uint32_t 接受策略(运行上下文& 上下文, const std::string& 原始文本, bool* 结束) {
  *结束 = true;
  const auto& 策略 = 上下文.策略;
  auto& 状态 = 上下文.状态;
  if (策略.policyVersion < 状态.policyVersion) {
    上下文.结果->olderPolicyIgnored = true;
    return 以代码结束(成功, nullptr, 上下文.错误);
  }
  const std::string 内容标识 = 策略内容标识(策略);
  if (策略.policyVersion == 状态.policyVersion) {
    if (内容标识 != 状态.policyContentId) {
      return 以代码结束(更新策略内容冲突, L"相同 policyVersion 返回了不同内容。", 上下文.错误);
    }
    *结束 = false;
    return 成功;
  }
  const std::wstring 策略文件 = 连接路径(连接路径(上下文.配置.stateRoot, L"state"), L"current-policy.json");
  if (!原子写入文件(策略文件, 原始文本, 策略文件 + L".bak")) {
    return 以代码结束(无法保存更新策略, L"无法保存当前更新策略。", 上下文.错误);
  }
  if (状态.generation == 最大代次) return 以代码结束(版本状态提交失败, L"本地状态代次已耗尽。", 上下文.错误);
  本地版本状态 新状态 = 状态;
  新状态.policyVersion = 策略.policyVersion;
  新状态.policyContentId = 内容标识;
  新状态.nextCheckAt = 策略.checkAfter;
  新状态.updateFailureCount = 0;
  if (!提交下一代状态(上下文.配置.stateRoot, &新状态)) {
    return 以代码结束(版本状态提交失败, L"无法提交更新策略状态。", 上下文.错误);
  }
  状态 = std::move(新状态);
  *结束 = false;
  return 成功;
}

// The manifest stage's refusal of a release no trusted key has signed: a failed attempt
// with its own sentence, before anything of the release is downloaded or staged.
std::uint32_t 拒绝未签名版本(运行上下文& 上下文, 签名校验结果 校验) {
  记录并投递结果(上下文.配置, 上下文.策略, 上下文.设备标识, 上下文.状态, "failed", "manifest", 发布清单哈希不符,
                 上下文.json);
  记录更新失败(上下文.配置, &上下文.状态);
  return 以代码结束(发布清单哈希不符, 签名校验消息(校验), 上下文.错误);
}

bool 需要签名(const 更新协调器配置& 配置) { return !配置.trustedPublicKeys.empty(); }

// A release already on disk is taken over without a download only when its own manifest
// carries the policy's signature too.
bool 本地清单已签名(const 运行上下文& 上下文, const std::wstring& 目录) {
  if (!需要签名(上下文.配置)) return true;
  std::string 文本;
  return 读取整个文件(连接路径(目录, 发布清单文件名), &文本) &&
         校验发布清单签名(上下文.配置.trustedPublicKeys, 文本, 上下文.策略.manifestSignature) ==
             签名校验结果::已通过;
}

// Steps 14 and 15: fetch the manifest, assemble, record the outcome.
std::uint32_t 准备目标版本(运行上下文& 上下文, const std::wstring& 目标, bool 可恢复) {
  const auto& 配置 = 上下文.配置;
  // Without a signature there is nothing a manifest could be checked against: not even
  // the manifest is fetched.
  if (需要签名(配置) && 上下文.策略.manifestSignature.empty()) {
    return 拒绝未签名版本(上下文, 签名校验结果::缺少签名);
  }
  const JsonHttp请求 请求 = 服务交换请求(L"GET", 逐字节加宽(上下文.策略.manifestUrl), true);
  JsonHttp响应 响应;
  if (!上下文.json->发送(请求, &响应, nullptr) || 响应.statusCode != 200) {
    记录并投递结果(配置, 上下文.策略, 上下文.设备标识, 上下文.状态, "failed", "manifest", 无法下载发布清单, 上下文.json);
    记录更新失败(配置, &上下文.状态);
    return 以代码结束(无法下载发布清单, L"无法下载发布清单。", 上下文.错误);
  }
  const auto 校验 = 校验发布清单签名(配置.trustedPublicKeys, 响应.body, 上下文.策略.manifestSignature);
  if (校验 == 签名校验结果::缺少签名 || 校验 == 签名校验结果::未通过) return 拒绝未签名版本(上下文, 校验);

  版本组装配置 组装;
  组装.programRoot = 配置.programRoot;
  组装.stateRoot = 配置.stateRoot;
  组装.cacheRoot = 配置.cacheRoot;
  组装.manifestText = std::move(响应.body);
  组装.manifestHash = 上下文.策略.manifestHash;
  组装.localReleases = 收集已有版本(配置.programRoot, 上下文.状态);
  组装.allowQuarantinedRecovery = 可恢复;
  组装.diagnosticId = 配置.diagnosticId;
  版本组装结果 组装结果;
  const std::uint32_t 代码 = 版本组装(组装, 上下文.下载, &组装结果, 上下文.错误);
  if (代码 != 成功) {
    记录并投递结果(配置, 上下文.策略, 上下文.设备标识, 上下文.状态, "failed", 组装失败阶段(代码), 代码, 上下文.json);
    记录更新失败(配置, &上下文.状态);
    return 代码;
  }
  if (可恢复) {
    const auto 路径 = 取本地版本状态路径(配置.stateRoot);
    const std::wstring 目录 = 发布目录(配置.programRoot, 目标);
    if (!提交隔离恢复(配置, 上下文.策略, 目标, 目录, &路径, &上下文.状态, 上下文.错误)) {
      记录并投递结果(配置, 上下文.策略, 上下文.设备标识, 上下文.状态, "failed", "state-commit", 版本状态提交失败,
                     上下文.json);
      return 版本状态提交失败;
    }
  }
  上下文.结果->releasePrepared = true;
  记录并投递结果(配置, 上下文.策略, 上下文.设备标识, 上下文.状态, "prepared", "", 成功, 上下文.json);
  return 以代码结束(成功, nullptr, 上下文.错误);
}

// Steps 9 to 15, once a policy is accepted.
std::uint32_t 处理目标(运行上下文& 上下文) {
  const auto& 配置 = 上下文.配置;
  const auto& 策略 = 上下文.策略;
  上下文.结果->targetReleaseId = 策略.targetReleaseId;
  const std::wstring 目标 = 逐字节加宽(策略.targetReleaseId);
  const std::wstring 目录 = 发布目录(配置.programRoot, 目标);
  const bool 可恢复 = 判定隔离恢复资格(配置, 上下文.状态, 策略, 目标);
  const bool 已隔离目标 = 已隔离(上下文.状态, 目标);
  if (已隔离目标 || 配置.recoverUnusableState) 记录恢复判定(配置, 上下文.状态, 策略, 可恢复);
  if (已隔离目标 && !可恢复) {
    return 以代码结束(版本状态不允许, L"目标版本已被隔离，当前状态不满足本次受监督恢复条件。", 上下文.错误);
  }
  if (发布目录可用(目录)) {
    if (可恢复 && 校验目标版本(目录, 策略) && 本地清单已签名(上下文, 目录)) {
      const auto 路径 = 取本地版本状态路径(配置.stateRoot);
      if (!提交隔离恢复(配置, 策略, 目标, 目录, &路径, &上下文.状态, 上下文.错误)) return 版本状态提交失败;
      上下文.结果->releasePrepared = true;
      return 以代码结束(成功, nullptr, 上下文.错误);
    }
    if (!可恢复 && 上下文.状态.activeRelease == 目标) return 以代码结束(成功, nullptr, 上下文.错误);
  }
  return 准备目标版本(上下文, 目标, 可恢复);
}

// Steps 6 to 15, under the lock.
std::uint32_t 持锁运行(运行上下文& 上下文) {
  const auto& 配置 = 上下文.配置;
  清理遗留暂存目录(配置.stateRoot);
  if (!取得设备安装标识(配置.stateRoot, &上下文.设备标识)) {
    return 以代码结束(无法取得安装标识, L"无法取得设备安装标识。", 上下文.错误);
  }
  std::string 原始文本;
  // A target that cannot be a directory name ("." or "..", say) makes the policy unusable
  // for this installation: it is refused like an invalid answer, before anything is stored.
  if (!请求版本策略(配置, 上下文.状态, 上下文.设备标识, 上下文.json, &上下文.策略, &原始文本, nullptr) ||
      !发布标识有效(逐字节加宽(上下文.策略.targetReleaseId))) {
    记录更新失败(配置, &上下文.状态);
    return 以代码结束(无法取得更新策略, L"无法取得有效更新策略，现有版本状态未改变。", 上下文.错误);
  }
  bool 结束 = false;
  const std::uint32_t 代码 = 接受策略(上下文, 原始文本, &结束);
  if (结束) return 代码;
  return 处理目标(上下文);
}

}  // namespace

std::uint32_t 运行更新协调器(const 更新协调器配置& 配置, JsonHttp传输* 服务交换, 下载传输* 下载通道,
                             更新协调器结果* 结果, std::wstring* 错误) {
  if (服务交换 == nullptr || 下载通道 == nullptr || 结果 == nullptr || 配置.programRoot.empty() ||
      配置.stateRoot.empty() || 配置.cacheRoot.empty() || 配置.resolveUrls.empty()) {
    return 以代码结束(参数无效, L"更新协调器参数无效。", 错误);
  }
  *结果 = 更新协调器结果{};
  运行上下文 上下文{配置, 服务交换, 下载通道, 结果, 错误, {}, {}, {}};
  // The due-time gate only reads: a run that goes on to find another one active must not
  // write anything, not even a rebuilt state over the one the active run just committed.
  // An unusable state has no nextCheckAt and so never holds the run back.
  std::string 文本;
  本地版本状态 门前状态;
  std::uint64_t 检查时间 = 0;
  if (!配置.forceCheck && 加载本地版本状态(配置.stateRoot, &文本, &门前状态) &&
      解析检查时间(门前状态.nextCheckAt, &检查时间) && 当前时间(配置) < 检查时间) {
    结果->skippedUntilCheckAfter = true;
    结果->skippedWhileFailing = 门前状态.updateFailureCount != 0;
    return 以代码结束(成功, nullptr, 错误);
  }
  platform::命名互斥体 锁;
  if (!锁.打开或创建(协调器锁名称) || 锁.加锁(0) != platform::加锁结果::取得) {
    结果->alreadyRunning = true;
    return 以代码结束(成功, nullptr, 错误);
  }
  // Loaded again under the lock: an offline preparation may have committed between the
  // gate and the lock, and the policy bookkeeping saved below starts from this copy.
  if (!加载或重建状态(配置.stateRoot, &上下文.状态)) {
    return 以代码结束(版本状态提交失败, L"无法重建本地更新状态。", 错误);
  }
  return 持锁运行(上下文);
}

}  // namespace tallybell
