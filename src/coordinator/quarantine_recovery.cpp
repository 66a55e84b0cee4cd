#include "coordinator/quarantine_recovery.h"

#include <algorithm>
#include <utility>

#include "common/failure.h"
#include "coordinator/quarantine_internal.h"
#include "documents/manifest.h"
#include "release/verification.h"
#include "storage/files.h"
#include "storage/paths.h"
#include "storage/state_commit.h"

namespace tallybell {
namespace {

// The newer of the two state files (the main file on a tie), parsed.
bool 读取最新状态(const 本地版本状态路径& 路径, 本地版本状态* 输出) {
  std::string 主文本, 备份文本;
  std::uint64_t 主代次 = 0, 备份代次 = 0;
  const bool 主可用 = 加载单个本地版本状态(路径.主文件, &主文本, &主代次);
  const bool 备份可用 = 加载单个本地版本状态(路径.备份文件, &备份文本, &备份代次);
  if (!主可用 && !备份可用) return false;
  const bool 选备份 = !主可用 || (备份可用 && 备份代次 > 主代次);
  return 解析本地版本状态(选备份 ? 备份文本 : 主文本, 输出);
}

}  // namespace

bool 校验目标版本(const std::wstring& 目录, const 版本策略& 策略) {
  std::string 清单文本;
  发布清单 清单;
  if (!读取整个文件(连接路径(目录, 发布清单文件名), &清单文本) || !解析发布清单(清单文本, &清单)) {
    return false;
  }
  if (清单.releaseId != 策略.targetReleaseId) return false;
  return 校验发布目录(目录, 清单, 策略.manifestHash);
}

bool 提交隔离恢复(const 更新协调器配置& 配置, const 版本策略& 策略, const std::wstring& 目标,
                  const std::wstring& 目录, const 本地版本状态路径* 路径, 本地版本状态* 状态,
                  std::wstring* 错误) {
  constexpr wchar_t 读取失败[] = L"无法读取误隔离恢复所需的最新状态。";
  constexpr wchar_t 记录失败[] = L"无法记录误隔离恢复状态。";
  if (路径 == nullptr || 状态 == nullptr) return 失败(错误, 读取失败);
  // The assembly may have written the state since the run loaded it; decide on what is on
  // disk now, under the same coordinator lock.
  本地版本状态 最新;
  if (!读取最新状态(*路径, &最新)) return 失败(错误, 读取失败);

  const std::string 指纹 = 计算恢复指纹(策略);
  if (!判定隔离恢复资格(配置, 最新, 策略, 目标) || !校验目标版本(目录, 策略)) {
    记录恢复判定(配置, 最新, 策略, false);
    return 失败(错误, L"误隔离恢复条件已变化或版本校验失败。");
  }
  if (最新.generation == 最大代次 || !登记恢复指纹(&最新, 指纹)) return 失败(错误, 记录失败);

  auto& 隔离 = 最新.quarantined;
  隔离.erase(std::remove(隔离.begin(), 隔离.end(), 目标), 隔离.end());
  最新.pendingRelease = 目标;
  const std::uint64_t 读到的代次 = 最新.generation;
  递增代次(&最新);

  if (!提交本地版本状态(配置.stateRoot, 读到的代次, 序列化本地版本状态(最新))) {
    return 失败(错误, L"无法提交误隔离恢复状态。");
  }
  *状态 = std::move(最新);
  记录恢复提交(配置, *状态, 指纹);
  if (错误 != nullptr) 错误->clear();
  return true;
}

}  // namespace tallybell
