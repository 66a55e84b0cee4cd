// rollout status: a table an operator reads at a glance.
#include <cstdio>

#include "service/rollout_rules.h"
#include "service/service_commands.h"

namespace tallybell::服务 {
namespace {

void 打印推出(const 推出记录& 推出, const 推出统计& 统计) {
  std::printf("channel %s  rollout %llu  %s\n", 推出.channel.c_str(), static_cast<unsigned long long>(推出.id),
              推出状态文本(推出.state));
  std::printf("  target %s  base %s  at %u %%", 推出.target.c_str(), 推出.base.empty() ? "-" : 推出.base.c_str(),
              推出.percent);
  if (推出.stepIndex < 推出.steps.size()) {
    std::printf("  step %u of %zu since %s", 推出.stepIndex + 1, 推出.steps.size(), 时间文本(推出.stepStartedAt).c_str());
    if (推出.stepIndex + 1 < 推出.steps.size() && 推出.state == 推出状态::进行中) {
      std::printf(", %u %% due %s", 推出.steps[推出.stepIndex + 1],
                  时间文本(推出.stepStartedAt + 推出.stepSeconds).c_str());
    }
  } else {
    std::printf("  no plan");
  }
  std::printf("\n");
  if (!推出.haltReason.empty()) std::printf("  halted because %s\n", 推出.haltReason.c_str());
  std::printf("  results %llu, failed %llu\n", static_cast<unsigned long long>(统计.results),
              static_cast<unsigned long long>(统计.failures));
  if (!统计.groups.empty()) std::printf("    %-10s %-14s %-6s %s\n", "RESULT", "STAGE", "CODE", "COUNT");
  for (const auto& 组 : 统计.groups) {
    std::printf("    %-10s %-14s %-6u %llu\n", 组.result.c_str(), 组.failureStage.empty() ? "-" : 组.failureStage.c_str(),
                组.errorCode, static_cast<unsigned long long>(组.count));
  }
  std::printf("  offered in this step %llu, %llu of them over %llu s ago, silent %llu\n",
              static_cast<unsigned long long>(统计.offersInStep), static_cast<unsigned long long>(统计.ripeOffersInStep),
              static_cast<unsigned long long>(推出.limits.silentAfterSeconds),
              static_cast<unsigned long long>(统计.silentInStep));
  for (const auto& 安装 : 统计.silentInstallations) std::printf("    silent %s\n", 安装.c_str());
}

}  // namespace

int 执行推出状态(命令环境& 环境) {
  服务快照 快照;
  if (!环境.存储->读取快照(&快照)) return 报错(存储错误, "cannot read the database");
  const std::string 频道 = 环境.参数.取("channel");
  bool 有 = false;
  for (const auto& [名称, 推出] : 快照.rollouts) {
    if (!频道.empty() && 名称 != 频道) continue;
    推出统计 统计;
    if (!环境.存储->统计推出(推出, 环境.时钟.现在(), &统计)) return 报错(存储错误, "cannot count the results");
    打印推出(推出, 统计);
    有 = true;
  }
  if (!有) return 报错(拒绝, 频道.empty() ? "no rollout was started" : "channel " + 频道 + " has no rollout");
  std::uint64_t 事件 = 0, 隔离 = 0;
  if (环境.存储->事件数(&事件, &隔离)) {
    std::printf("events stored %llu, poison events kept aside %llu\n", static_cast<unsigned long long>(事件),
                static_cast<unsigned long long>(隔离));
  }
  return 成功;
}

}  // namespace tallybell::服务
