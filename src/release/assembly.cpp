#include "release/assembly.h"

#include <algorithm>

#include <nlohmann/json.hpp>

#include "common/codes.h"
#include "common/failure.h"
#include "common/text.h"
#include "diagnostics/diagnostic_line.h"
#include "documents/json_output.h"
#include "documents/sha256.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "release/assembly_files.h"
#include "release/completion_marker.h"
#include "release/staging.h"
#include "release/verification.h"
#include "storage/files.h"
#include "storage/paths.h"
#include "storage/release_id.h"
#include "storage/state_commit.h"
#include "storage/version_state.h"

namespace tallybell {
namespace {

using platform::文件调用;

bool 列出可执行文件(const 发布清单& 清单) {
  return std::any_of(清单.files.begin(), 清单.files.end(),
                     [](const 发布文件& 文件) { return 转ASCII小写(文件.path) == "tallybell.exe"; });
}

struct 状态判断 {
  bool 恢复模式 = false;
  bool 冲突 = false;
  const char* 原因 = "";
};

状态判断 判断状态(const 本地版本状态& 状态, const std::wstring& 目标, bool 允许隔离恢复) {
  状态判断 结果;
  结果.恢复模式 = 允许隔离恢复 && 状态.pendingRelease.empty() && 状态.attemptingRelease.empty();
  if (!状态.attemptingRelease.empty()) {
    结果 = {结果.恢复模式, true, "attempting-release-exists"};
  } else if (!状态.pendingRelease.empty() && 状态.pendingRelease != 目标) {
    结果 = {结果.恢复模式, true, "pending-release-conflict"};
  } else if (已隔离(状态, 目标) && !结果.恢复模式) {
    结果 = {结果.恢复模式, true, "target-quarantined"};
  }
  return 结果;
}

std::string 冲突详情(const 版本组装配置& 配置, const 本地版本状态& 状态, const 发布清单& 清单,
                     const std::wstring& 目标, const char* 原因) {
  nlohmann::json 详情 = nlohmann::json::object();
  详情["allowQuarantinedRecovery"] = 配置.allowQuarantinedRecovery;
  详情["attemptingRelease"] = 宽转UTF8宽松(状态.attemptingRelease);
  详情["detail"] = "组装读取的版本状态不允许准备目标版本";
  详情["generation"] = 状态.generation;
  详情["pendingRelease"] = 宽转UTF8宽松(状态.pendingRelease);
  详情["reason"] = 原因;
  详情["targetQuarantined"] = 已隔离(状态, 目标);
  详情["targetRelease"] = 清单.releaseId;
  std::string 文本;
  return 序列化JSON(详情, &文本) ? 文本 : std::string();
}

// Steps 8 to 12: stage, verify, set an old directory aside and commit with one rename.
std::uint32_t 构建并提交(const 版本组装配置& 配置, const 发布清单& 清单, const std::wstring& 目标目录,
                         bool 需要移开旧目录, 下载传输* 传输, 版本组装结果* 计数, std::wstring* 错误) {
  const 暂存目录 暂存目录锁(配置.stateRoot, L"assemble");
  const std::wstring& 暂存 = 暂存目录锁.路径();
  const std::wstring 暂存版本 = 连接路径(暂存, L"release");
  if (暂存.empty() || !创建目录树(暂存版本) || !原子写入文件(连接路径(暂存版本, 发布清单文件名), 配置.manifestText, L"")) {
    return 以代码结束(版本目录提交失败, L"无法创建 staging 或写入发布清单。", 错误);
  }
  for (const auto& 条目 : 清单.files) {
    const std::wstring 相对路径 = 转换发布文件路径(条目.path);
    if (相对路径.empty()) return 以代码结束(发布清单无效, L"发布文件路径无法转换为 UTF-16。", 错误);
    文件来源 来源 = 文件来源::下载;
    const auto 代码 = 放置发布文件(配置, 条目, 相对路径, 连接路径(暂存版本, 相对路径), 传输, &来源, 错误);
    if (代码 != 成功) return 代码;
    ++(来源 == 文件来源::已有版本 ? 计数->copiedFromReleases
                                  : 来源 == 文件来源::缓存 ? 计数->copiedFromCache : 计数->downloaded);
  }
  const std::string 标记 = 完成标记文本(清单, 配置.manifestHash);
  const std::wstring 版本根 = 父目录(目标目录);
  if (标记.empty() || !原子写入文件(连接路径(暂存版本, 完成标记文件名), 标记, L"") ||
      !校验发布目录(暂存版本, 清单, 配置.manifestHash, nullptr) || !创建目录树(版本根)) {
    return 以代码结束(版本目录提交失败, L"完整版本校验失败。", 错误);
  }
  if (需要移开旧目录) {
    std::wstring 发布标识;
    UTF8转宽(清单.releaseId, &发布标识);
    const std::wstring 隔离名 = 连接路径(版本根, L"quarantine-" + 发布标识 + L"-" + 十进制宽(platform::进程标识()) +
                                                    L"-" + 十进制宽(platform::毫秒计时()));
    platform::文件信息 信息;
    文件调用().移动不替换(目标目录, 隔离名);
    if (文件调用().查询(目标目录, &信息) || 信息.存在) {
      return 以代码结束(目标目录不完整, L"无法隔离已有的不完整版本目录。", 错误);
    }
  }
  if (!文件调用().移动不替换(暂存版本, 目标目录)) return 以代码结束(版本目录提交失败, L"完整版本原子提交失败。", 错误);
  文件调用().删除目录(暂存);
  return 成功;
}

// Records the target as pending, unless it is already pending, is the running
// good release, or a supervised recovery will record it itself.
std::uint32_t 记录待定版本(const 版本组装配置& 配置, 本地版本状态 状态, const std::wstring& 目标, bool 恢复模式,
                           std::wstring* 错误) {
  if (状态.pendingRelease == 目标 || (状态.activeRelease == 目标 && 状态.lastGoodRelease == 目标) || 恢复模式) {
    return 成功;
  }
  const std::uint64_t 读到的代次 = 状态.generation;
  if (!递增代次(&状态)) return 以代码结束(版本状态提交失败, L"本地版本状态代次已耗尽。", 错误);
  状态.pendingRelease = 目标;
  if (!提交本地版本状态(配置.stateRoot, 读到的代次, 序列化本地版本状态(状态))) {
    return 以代码结束(版本状态提交失败, L"版本完整，但 pendingRelease 提交失败。", 错误);
  }
  return 成功;
}

}  // namespace

std::uint32_t 版本组装(const 版本组装配置& 配置, 下载传输* 下载通道, 版本组装结果* 结果,
                       std::wstring* 错误) {
  if (下载通道 == nullptr || 结果 == nullptr || 配置.programRoot.empty() || 配置.stateRoot.empty() ||
      配置.cacheRoot.empty() || 配置.manifestText.empty() || !是小写SHA256文本(配置.manifestHash)) {
    return 以代码结束(参数无效, L"版本组装参数无效。", 错误);
  }
  if (!校验发布清单哈希(配置.manifestText, 配置.manifestHash, nullptr)) {
    return 以代码结束(发布清单哈希不符, L"发布清单 SHA-256 与版本策略不一致。", 错误);
  }
  发布清单 清单;
  if (!解析发布清单(配置.manifestText, &清单, nullptr) || !列出可执行文件(清单)) {
    return 以代码结束(发布清单无效, L"发布清单无效或未登记Tallybell.exe。", 错误);
  }
  std::wstring 目标;
  if (!UTF8转宽(清单.releaseId, &目标) || 目标.empty()) {
    return 以代码结束(本地状态不可读, L"无法读取版本组装所需的本地状态。", 错误);
  }
  // The manifest's id rule admits "." and ".."; neither may ever name a release directory.
  if (!发布标识有效(目标)) return 以代码结束(发布清单无效, L"发布清单 releaseId 不能用作版本目录名。", 错误);
  std::string 状态文本;
  本地版本状态 状态;
  if (!加载本地版本状态(配置.stateRoot, &状态文本, &状态)) {
    return 以代码结束(本地状态不可读, L"无法读取版本组装所需的本地状态。", 错误);
  }
  const 状态判断 判断 = 判断状态(状态, 目标, 配置.allowQuarantinedRecovery);
  if (判断.冲突) {
    写诊断结果行(配置.diagnosticId, "assembly-state-conflict", 版本状态不允许,
                 [&] { return 冲突详情(配置, 状态, 清单, 目标, 判断.原因); });
    return 以代码结束(版本状态不允许, L"当前版本状态不允许组装该版本。", 错误);
  }

  版本组装结果 计数;
  const std::wstring 目标目录 = 发布目录(配置.programRoot, 目标);
  platform::文件信息 信息;
  const bool 已存在 = 文件调用().查询(目标目录, &信息) && 信息.存在;
  if (已存在 && 信息.是目录 && 校验发布目录(目标目录, 清单, 配置.manifestHash, nullptr)) {
    计数.alreadyComplete = true;
  } else if (const auto 代码 = 构建并提交(配置, 清单, 目标目录, 已存在, 下载通道, &计数, 错误); 代码 != 成功) {
    return 代码;
  }
  if (const auto 代码 = 记录待定版本(配置, 状态, 目标, 判断.恢复模式, 错误); 代码 != 成功) return 代码;
  计数.releaseDirectory = 目标目录;
  *结果 = 计数;
  if (错误 != nullptr) 错误->clear();
  return 成功;
}

}  // namespace tallybell
