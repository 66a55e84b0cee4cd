#include "release/offline_preparation.h"

#include "common/codes.h"
#include "common/failure.h"
#include "platform/file_system.h"
#include "platform/named_mutex.h"
#include "release/directory_tree.h"
#include "release/offline_signature.h"
#include "release/staging.h"
#include "release/verification.h"
#include "storage/coordinator_lock.h"
#include "storage/files.h"
#include "storage/paths.h"
#include "storage/release_id.h"
#include "storage/state_commit.h"
#include "storage/version_state.h"

namespace tallybell {
namespace {

using platform::文件调用;

bool 有两个标记文件(const std::wstring& 目录) {
  return 是真实文件(连接路径(目录, 完成标记文件名)) && 是真实文件(连接路径(目录, L"Tallybell.exe"));
}

bool 状态允许(const 本地版本状态& 状态, const std::wstring& 发布标识) {
  return 状态.attemptingRelease.empty() &&
         (状态.pendingRelease.empty() || 状态.pendingRelease == 发布标识) && !已隔离(状态, 发布标识);
}

// Copies the source into staging and renames the copy into place. Returns 0 or the code,
// with the message set.
std::uint32_t 复制并提交(const 离线准备请求& 请求, const std::wstring& 源, const std::wstring& 目标,
                         const 已签名离线清单& 签名清单, std::wstring* 消息) {
  清理遗留暂存目录(请求.stateRoot);
  const 暂存目录 暂存目录锁(请求.stateRoot, L"prepare");
  const std::wstring& 暂存 = 暂存目录锁.路径();
  const std::wstring 暂存版本 = 连接路径(暂存, L"release");
  if (暂存.empty() || !复制目录树(源, 暂存版本) || !有两个标记文件(暂存版本)) {
    删除目录树(暂存);
    return 以代码结束(版本目录提交失败, L"复制离线版本到 staging 失败。", 消息);
  }
  // Checked on the copy, so a source changed after the signature check cannot slip in.
  if (签名清单.已要求 && !符合已签名清单(暂存版本, 签名清单)) {
    删除目录树(暂存);
    return 以代码结束(发布清单哈希不符, 离线版本与签名不符, 消息);
  }
  const bool 已提交 = 创建目录树(发布目录集(请求.programRoot)) &&
                      文件调用().移动不替换(暂存版本, 目标);
  删除目录树(暂存);
  if (!已提交) return 以代码结束(版本目录提交失败, L"无法原子提交完整版本目录。", 消息);
  return 成功;
}

}  // namespace

std::uint32_t 准备离线版本(const 离线准备请求& 请求, std::wstring* 消息) {
  if (!发布标识有效(请求.releaseId) || 请求.fixtureDir.empty() || 请求.programRoot.empty() ||
      请求.stateRoot.empty()) {
    return 以代码结束(参数无效, L"离线更新参数无效。", 消息);
  }
  const std::wstring 源 = 发布目录(请求.fixtureDir, 请求.releaseId);
  if (!是真实目录(源) || !有两个标记文件(源)) {
    return 以代码结束(离线版本不完整, L"离线版本缺少 complete.json 或Tallybell.exe。", 消息);
  }
  已签名离线清单 签名清单;
  if (const auto 代码 = 校验离线版本签名(源, 请求.releaseId, 请求.trustedPublicKeys, &签名清单, 消息); 代码 != 成功) {
    return 代码;
  }

  platform::命名互斥体 协调器锁;
  if (!协调器锁.打开或创建(协调器锁名称) ||
      协调器锁.加锁(请求.锁等待毫秒) != platform::加锁结果::取得) {
    return 以代码结束(更新正在进行, L"另一个更新进程正在运行，请稍后重试。", 消息);
  }

  std::string 状态文本;
  本地版本状态 状态;
  if (!加载本地版本状态(请求.stateRoot, &状态文本, &状态)) {
    return 以代码结束(本地状态不可读, L"无法读取本地版本状态。", 消息);
  }
  if (!状态允许(状态, 请求.releaseId)) {
    return 以代码结束(版本状态不允许, L"当前版本状态不允许准备该版本。", 消息);
  }

  const std::wstring 目标 = 发布目录(请求.programRoot, 请求.releaseId);
  // Only a real directory with both marker files counts as the release in place; a link
  // (to a folder or as a marker file) never does.
  if (是真实目录(目标)) {
    if (!有两个标记文件(目标)) {
      return 以代码结束(目标目录不完整, L"目标版本目录已存在但不完整，已保留现场。", 消息);
    }
    if (签名清单.已要求 && !符合已签名清单(目标, 签名清单)) return 以代码结束(发布清单哈希不符, 离线版本与签名不符, 消息);
  } else if (const auto 代码 = 复制并提交(请求, 源, 目标, 签名清单, 消息); 代码 != 成功) {
    return 代码;
  }

  if (状态.pendingRelease != 请求.releaseId) {
    const std::uint64_t 读到的代次 = 状态.generation;
    if (!递增代次(&状态)) return 以代码结束(版本状态提交失败, L"本地版本状态代次已耗尽。", 消息);
    状态.pendingRelease = 请求.releaseId;
    if (!提交本地版本状态(请求.stateRoot, 读到的代次, 序列化本地版本状态(状态))) {
      return 以代码结束(版本状态提交失败, L"版本目录完整，但 pendingRelease 提交失败。", 消息);
    }
  }
  return 以代码结束(成功, L"离线版本已准备并提交为 pendingRelease。", 消息);
}

}  // namespace tallybell
