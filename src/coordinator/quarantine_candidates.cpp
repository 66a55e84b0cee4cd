#include "coordinator/quarantine_internal.h"
#include "coordinator/quarantine_recovery.h"
#include "platform/file_system.h"
#include "release/verification.h"
#include "storage/paths.h"
#include "storage/release_id.h"

namespace tallybell {

std::wstring 发布目录路径(const std::wstring& programRoot, const std::wstring& 标识) {
  return 发布目录(programRoot, 标识);
}

bool 版本可运行(const 更新协调器配置& 配置, const std::wstring& 标识或路径) {
  if (标识或路径.empty()) return false;
  if (发布标识有效(标识或路径)) return 发布目录可用(发布目录路径(配置.programRoot, 标识或路径));
  platform::文件信息 信息;
  return platform::文件调用().查询(标识或路径, &信息) && 信息.存在 && !信息.是目录;
}

std::optional<启动候选> 选择可启动版本(const 本地版本状态& 状态, const 可运行检查& 可运行) {
  if (!可运行) return std::nullopt;
  struct 候选 {
    const std::wstring& 文本;
    启动候选位置 位置;
    bool 查隔离;
  };
  // An old installation outside the releases directory is never put in quarantine by the
  // launcher, so its entry is not consulted for it.
  const 候选 顺序[] = {
      {状态.pendingRelease, 启动候选位置::pendingRelease, true},
      {状态.activeRelease, 启动候选位置::activeRelease, true},
      {状态.lastGoodRelease, 启动候选位置::lastGoodRelease, true},
      {状态.rescueRelease, 启动候选位置::rescueRelease, true},
      {状态.legacyInstallPath, 启动候选位置::legacyInstallPath, false},
  };
  for (const 候选& 项 : 顺序) {
    if (项.文本.empty() || (项.查隔离 && 已隔离(状态, 项.文本))) continue;
    if (可运行(项.文本)) return 启动候选{项.文本, 项.位置};
  }
  return std::nullopt;
}

bool 没有其它可运行版本(const 更新协调器配置& 配置, const 本地版本状态& 状态,
                        const std::wstring& 目标) {
  const auto 可运行 = [&配置](const std::wstring& 项) { return 版本可运行(配置, 项); };
  if (选择可启动版本(状态, 可运行)) return false;
  for (const std::wstring& 项 : 状态.confirmedHistory) {
    if (项 == 目标) continue;
    if (!已隔离(状态, 项) && 版本可运行(配置, 项)) return false;
  }
  return true;
}

bool 判定隔离恢复资格(const 更新协调器配置& 配置, const 本地版本状态& 状态, const 版本策略& 策略,
                      const std::wstring& 目标) {
  // A target that could not be a directory name under releases (".", "..", too long) is
  // never recovered, whatever the policy says.
  if (!配置.recoverUnusableState || !发布标识有效(目标)) return false;
  if (!状态.pendingRelease.empty() || !状态.attemptingRelease.empty()) return false;
  if (!已隔离(状态, 目标)) return false;
  if (查询恢复指纹状态(状态, 计算恢复指纹(策略)) == "invalid") return false;
  return 没有其它可运行版本(配置, 状态, 目标);
}

}  // namespace tallybell
