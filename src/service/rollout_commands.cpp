// rollout start, set, pause, resume and rollback: each a new revision with its audit entry.
#include <cstdio>
#include <functional>

#include "service/policy_issue.h"
#include "service/rollout_rules.h"
#include "service/service_commands.h"

namespace tallybell::服务 {
namespace {

std::string 频道(const 命令环境& 环境) { return 环境.参数.取("channel", "tallybell"); }

// Reads the snapshot, lets 修改 change the channel's rollout and stores it at the revision
// it was read at.
int 修改推出(命令环境& 环境, const std::function<int(推出记录*, std::string*)>& 修改) {
  服务快照 快照;
  if (!环境.存储->读取快照(&快照)) return 报错(存储错误, "cannot read the database");
  const auto 项 = 快照.rollouts.find(频道(环境));
  if (项 == 快照.rollouts.end()) return 报错(拒绝, "channel " + 频道(环境) + " has no rollout");
  推出记录 推出 = 项->second;
  std::string 说明;
  if (const int 码 = 修改(&推出, &说明); 码 != 成功) return 码;
  if (快照.revision >= 最大修订) return 报错(拒绝, "the revision counter is exhausted");
  const std::string 内容 = "rollout " + std::to_string(推出.id) + " of " + 推出.channel + ": " + 说明;
  if (!环境.存储->保存推出(&推出, 环境.审计(内容), 快照.revision)) {
    return 报错(存储错误, "the change was not stored (the database changed meanwhile or failed); try again");
  }
  std::printf("%s\n", 内容.c_str());
  return 成功;
}

bool 读限值(const 命令参数& 参数, 停止阈值* 限, std::string* 错误) {
  const std::pair<const char*, std::uint32_t*> 小项[] = {
      {"min-results", &限->minResults},   {"max-failures", &限->maxFailures},
      {"max-failure-percent", &限->maxFailurePercent}, {"min-silent", &限->minSilentOffers},
      {"max-silent-percent", &限->maxSilentPercent}};
  for (const auto& [名称, 目标] : 小项) {
    std::optional<std::uint64_t> 值;
    if (!参数.取数(名称, 0, 1000000, &值, 错误)) return false;
    if (值) *目标 = static_cast<std::uint32_t>(*值);
  }
  std::optional<std::uint64_t> 沉默;
  if (!参数.取数("silent-after", 1, 365 * 86400, &沉默, 错误)) return false;
  if (沉默) 限->silentAfterSeconds = *沉默;
  return true;
}

}  // namespace

int 执行推出开始(命令环境& 环境) {
  const auto& 参数 = 环境.参数;
  服务快照 快照;
  if (!环境.存储->读取快照(&快照)) return 报错(存储错误, "cannot read the database");
  const std::string 目标 = 参数.取("release");
  if (!快照.releases.count(目标)) return 报错(拒绝, "release '" + 目标 + "' was not added");
  // The base is what the channel ran before: the previous rollout's target once it reached
  // everyone, otherwise the previous base.
  std::string 基础;
  if (const auto 项 = 快照.rollouts.find(频道(环境)); 项 != 快照.rollouts.end()) {
    const auto& 旧 = 项->second;
    基础 = 旧.state == 推出状态::已完成 || (旧.percent == 100 && 旧.state != 推出状态::已回滚) ? 旧.target : 旧.base;
  }
  基础 = 参数.取("base", 基础);
  if (!基础.empty() && !快照.releases.count(基础)) return 报错(拒绝, "base release '" + 基础 + "' was not added");
  if (基础 == 目标) 基础.clear();
  推出记录 推出 = 默认推出(频道(环境), 目标, 基础, 环境.时钟.现在());
  std::string 错误;
  if (参数.有("steps") && !解析步骤(参数.取("steps"), &推出.steps)) {
    return 报错(用法错误, "--steps needs rising percentages from 1 to 100, such as 1,5,25,100");
  }
  std::optional<std::uint64_t> 步长, 百分比;
  if (!参数.取数("step-seconds", 1, 365 * 86400, &步长, &错误) || !参数.取数("percent", 0, 100, &百分比, &错误) ||
      !读限值(参数, &推出.limits, &错误)) {
    return 报错(用法错误, 错误);
  }
  if (步长) 推出.stepSeconds = *步长;
  if (百分比) {
    // A hand-driven rollout: no plan.
    推出.steps.clear();
    推出.percent = static_cast<std::uint32_t>(*百分比);
  } else if (推出.steps.empty()) {
    return 报错(用法错误, "--steps is empty");
  } else {
    推出.percent = 推出.steps.front();
  }
  if (推出.percent == 100) 推出.state = 推出状态::已完成;
  const std::string 内容 = "started rollout of " + 目标 + " on " + 推出.channel + " at " +
                           std::to_string(推出.percent) + " % (base " + (基础.empty() ? "none" : 基础) + ", plan " +
                           (推出.steps.empty() ? "manual" : 步骤文本(推出.steps)) + ")";
  if (!环境.存储->保存推出(&推出, 环境.审计(内容), 快照.revision)) {
    return 报错(存储错误, "the rollout was not stored (the database changed meanwhile or failed); try again");
  }
  std::printf("rollout %llu: %s\n", static_cast<unsigned long long>(推出.id), 内容.c_str());
  return 成功;
}

int 执行推出设置(命令环境& 环境) {
  std::optional<std::uint64_t> 百分比;
  std::string 错误;
  if (!环境.参数.取数("percent", 0, 100, &百分比, &错误)) return 报错(用法错误, 错误);
  if (!百分比) return 报错(用法错误, "rollout set needs --percent");
  return 修改推出(环境, [&](推出记录* 推出, std::string* 说明) {
    if (推出->state == 推出状态::已回滚) return 报错(拒绝, "the rollout was rolled back; start a new one");
    推出->percent = static_cast<std::uint32_t>(*百分比);
    推出->stepIndex = static_cast<std::uint32_t>(推出->steps.size());  // the plan ends here
    推出->state = 推出->percent == 100 ? 推出状态::已完成 : 推出状态::进行中;
    推出->haltReason.clear();
    *说明 = "percentage set to " + std::to_string(推出->percent) + " %";
    return static_cast<int>(成功);
  });
}

int 执行推出暂停(命令环境& 环境) {
  return 修改推出(环境, [&](推出记录* 推出, std::string* 说明) {
    if (推出->state != 推出状态::进行中) return 报错(拒绝, std::string("the rollout is ") + 推出状态文本(推出->state));
    推出->state = 推出状态::已暂停;
    *说明 = "paused at " + std::to_string(推出->percent) + " %";
    return static_cast<int>(成功);
  });
}

int 执行推出恢复(命令环境& 环境) {
  return 修改推出(环境, [&](推出记录* 推出, std::string* 说明) {
    if (推出->state != 推出状态::已暂停 && 推出->state != 推出状态::已停止) {
      return 报错(拒绝, std::string("the rollout is ") + 推出状态文本(推出->state));
    }
    推出->state = 推出->percent == 100 ? 推出状态::已完成 : 推出状态::进行中;
    推出->haltReason.clear();
    // The current step starts over: it gets its full time under watch again.
    推出->stepStartedAt = 环境.时钟.现在();
    *说明 = "resumed at " + std::to_string(推出->percent) + " %";
    return static_cast<int>(成功);
  });
}

int 执行推出回滚(命令环境& 环境) {
  服务快照 快照;
  if (!环境.存储->读取快照(&快照)) return 报错(存储错误, "cannot read the database");
  const std::string 到 = 环境.参数.取("to");
  if (!到.empty() && !快照.releases.count(到)) return 报错(拒绝, "release '" + 到 + "' was not added");
  return 修改推出(环境, [&](推出记录* 推出, std::string* 说明) {
    if (!到.empty()) 推出->base = 到;
    if (推出->base.empty()) return 报错(拒绝, "the rollout has no earlier release; name one with --to");
    推出->state = 推出状态::已回滚;
    *说明 = "rolled back: every installation is offered " + 推出->base;
    return static_cast<int>(成功);
  });
}

}  // namespace tallybell::服务
