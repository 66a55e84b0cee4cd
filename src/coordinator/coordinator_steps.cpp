#include "coordinator/coordinator_steps.h"

#include <algorithm>

#include "common/codes.h"
#include "common/text.h"
#include "common/time_text.h"
#include "coordinator/resolve_request.h"
#include "platform/clock.h"
#include "release/verification.h"
#include "results/result_queue.h"
#include "results/result_reporting.h"
#include "storage/files.h"
#include "storage/paths.h"
#include "storage/release_id.h"
#include "storage/state_commit.h"

namespace tallybell {
namespace {

constexpr std::uint64_t 每分钟 = 600000000ULL;

// Rebuilding replaces the record of the installed releases with an empty one, so it is
// only done when a state file is missing or damaged, never when it exists but cannot be
// read at the moment (an I/O error, a sharing violation, no free handle): such a run fails
// and the next one reads the record again.
bool 可以重建(const std::wstring& 路径) {
  std::string 内容;
  if (!读取整个文件(路径, &内容)) return 读取失败可以重写(路径);
  // Readable now: rebuild only when the content itself is damaged. A file that reads and
  // parses this time failed only for a moment.
  本地版本状态 状态;
  return !解析本地版本状态(内容, &状态);
}

bool 保存状态(const std::wstring& stateRoot, std::optional<std::uint64_t> 读到的代次, const 本地版本状态& 状态) {
  return 提交本地版本状态(stateRoot, 读到的代次, 序列化本地版本状态(状态));
}

}  // namespace

std::uint64_t 当前时间(const 更新协调器配置& 配置) { return 配置.clock ? 配置.clock() : platform::系统时间(); }

bool 加载或重建状态(const std::wstring& stateRoot, 本地版本状态* 状态) {
  std::string 文本;
  if (加载本地版本状态(stateRoot, &文本, 状态)) return true;
  const auto 路径 = 取本地版本状态路径(stateRoot);
  if (!可以重建(路径.主文件) || !可以重建(路径.备份文件)) return false;
  *状态 = 本地版本状态{};
  状态->generation = 1;
  return 保存状态(stateRoot, std::nullopt, *状态);
}

bool 提交下一代状态(const std::wstring& stateRoot, 本地版本状态* 状态) {
  本地版本状态 新状态 = *状态;
  if (!递增代次(&新状态) || !保存状态(stateRoot, 状态->generation, 新状态)) return false;
  *状态 = std::move(新状态);
  return true;
}

std::uint64_t 退避延迟(std::uint64_t 失败次数) {
  return (失败次数 <= 1 ? 5 : 失败次数 == 2 ? 15 : 60) * 每分钟;
}

void 记录更新失败(const 更新协调器配置& 配置, 本地版本状态* 状态) {
  if (状态->generation == 最大代次) return;
  const std::uint64_t 次数 = 状态->updateFailureCount == 最大代次 ? 最大代次 : 状态->updateFailureCount + 1;
  const std::uint64_t 现在 = 当前时间(配置);
  const std::uint64_t 延迟 = 退避延迟(次数);
  if (现在 > 最大代次 - 延迟) return;
  std::string 文本;
  if (!格式化检查时间(现在 + 延迟, &文本) || 文本.size() != 20) return;
  本地版本状态 新状态 = *状态;
  新状态.updateFailureCount = 次数;
  新状态.nextCheckAt = 文本;
  if (提交下一代状态(配置.stateRoot, &新状态)) *状态 = std::move(新状态);
}

const char* 组装失败阶段(std::uint32_t 代码) {
  switch (代码) {
    case 版本状态提交失败:
      return "state-commit";
    case 发布清单无效:
    case 发布清单哈希不符:
      return "manifest";
    case 发布文件下载失败:
      return "download";
    default:
      return "assembly";
  }
}

void 记录并投递结果(const 更新协调器配置& 配置, const 版本策略& 策略, const std::string& 设备标识,
                    const 本地版本状态& 状态, const char* 结果, const char* 失败阶段, std::uint32_t 代码,
                    JsonHttp传输* 传输) {
  记录更新结果(配置.stateRoot, 设备标识, {策略.policyVersion, 策略.assignmentId, 策略.targetReleaseId},
               状态.activeRelease, std::string(结果), std::string(失败阶段), 代码);
  std::vector<std::wstring> 地址;
  for (const auto& 项 : 策略.resultReportUrls) 地址.push_back(逐字节加宽(项));
  if (地址.empty()) return;
  结果回报计数 计数;
  回报更新结果(配置.stateRoot, 地址, 传输, &计数, nullptr);
}

std::vector<已有版本> 收集已有版本(const std::wstring& programRoot, const 本地版本状态& 状态) {
  std::vector<std::wstring> 候选 = {状态.activeRelease, 状态.lastGoodRelease};
  候选.insert(候选.end(), 状态.confirmedHistory.begin(), 状态.confirmedHistory.end());
  候选.push_back(状态.rescueRelease);
  std::vector<std::wstring> 已考虑;
  std::vector<已有版本> 结果;
  for (const auto& 标识 : 候选) {
    if (!发布标识有效(标识) || std::find(已考虑.begin(), 已考虑.end(), 标识) != 已考虑.end()) continue;
    已考虑.push_back(标识);
    已有版本 版本;
    版本.directory = 发布目录(programRoot, 标识);
    std::string 文本;
    const std::wstring 清单路径 = 连接路径(版本.directory, 发布清单文件名);
    // A linked release directory is no release, so nothing in it is offered for reuse.
    if (是真实目录(版本.directory) && 是真实文件(清单路径) && 读取整个文件(清单路径, &文本) &&
        解析发布清单(文本, &版本.manifest)) {
      结果.push_back(std::move(版本));
    }
  }
  return 结果;
}

}  // namespace tallybell
