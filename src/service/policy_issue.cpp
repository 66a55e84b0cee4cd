#include "service/policy_issue.h"

#include <algorithm>

#include "common/time_text.h"
#include "documents/json_output.h"
#include "documents/json_value.h"
#include "service/rollout_rules.h"

namespace tallybell::服务 {
namespace {

// Seconds between 1601-01-01 and 1970-01-01, for the core's time values.
constexpr std::uint64_t 纪元差秒 = 11644473600ULL;

std::string 错误正文(const char* 消息) { return std::string("{\"error\":\"") + 消息 + "\"}"; }

bool 已隔离(const 解析请求& 请求, const std::string& 发布) {
  return std::find(请求.quarantinedReleaseIds.begin(), 请求.quarantinedReleaseIds.end(), 发布) !=
         请求.quarantinedReleaseIds.end();
}

}  // namespace

std::uint64_t 下次检查秒(const std::string& 安装标识, std::uint64_t 窗口, std::uint64_t 间隔) {
  // The margin keeps a client that checks again right at checkAfter clear of the window
  // edge, even when instances' clocks differ by less than the margin.
  const std::uint64_t 余量 = std::min<std::uint64_t>(60, 间隔 / 10);
  const std::uint64_t 散布 = std::max<std::uint64_t>(1, 间隔 / 4);
  return (窗口 + 1) * 间隔 + 余量 + 推出桶(0, 安装标识) % 散布;
}

签发结果 签发策略(const 服务快照& 快照, const 解析请求& 请求, std::uint64_t 现在) {
  签发结果 结果;
  const auto 推出项 = 快照.rollouts.find(请求.productId);
  const std::uint64_t 间隔 = std::max<std::uint64_t>(1, 快照.settings.checkIntervalSeconds);
  if (推出项 == 快照.rollouts.end() || 快照.revision > 最大修订) {
    结果.status = 404;
    结果.body = 错误正文("no release is assigned to this product");
    return 结果;
  }
  const 推出记录& 推出 = 推出项->second;
  std::string 目标 = 推出.base;
  std::uint64_t 回退 = 0;
  const bool 成员 = 推出.state != 推出状态::已回滚 && 在推出中(推出, 请求.installationId);
  if (成员) {
    // A target this installation quarantined would be refused on every check; offer the
    // base it can run instead, unless the base is unusable too (then the target stays, so
    // a supervised recovery can take it up again).
    if (已隔离(请求, 推出.target) && !推出.base.empty() && !已隔离(请求, 推出.base)) {
      回退 = 1;
    } else {
      目标 = 推出.target;
    }
  }
  const auto 发布项 = 快照.releases.find(目标);
  if (目标.empty() || 发布项 == 快照.releases.end()) {
    结果.status = 404;
    结果.body = 错误正文("no release is assigned to this installation");
    return 结果;
  }
  const 发布记录& 发布 = 发布项->second;
  const std::uint64_t 窗口 = 快照.window ? 快照.window : 现在 / 间隔;
  Json值 策略 = Json值::对象();
  策略.设置成员("policyVersion", Json值::无符号整数((((窗口 << 24) + 快照.revision) << 1) | 回退));
  策略.设置成员("assignmentId", Json值::字符串(分配标识(推出.id)));
  策略.设置成员("action", Json值::字符串("update"));
  策略.设置成员("targetReleaseId", Json值::字符串(发布.releaseId));
  策略.设置成员("manifestUrl", Json值::字符串(发布.manifestUrl));
  策略.设置成员("manifestHash", Json值::字符串(发布.manifestHash));
  策略.设置成员("checkAfter",
               Json值::字符串(格式化UTC时间((下次检查秒(请求.installationId, 窗口, 间隔) + 纪元差秒) * 10000000ULL)));
  Json值 地址 = Json值::数组();
  地址.追加元素(Json值::字符串(快照.settings.publicUrl + "/update/v1/results"));
  策略.设置成员("resultReportUrls", std::move(地址));
  if (!发布.manifestSignature.empty()) 策略.设置成员("manifestSignature", Json值::字符串(发布.manifestSignature));
  if (!序列化JSON(策略, &结果.body)) {
    结果.status = 500;
    结果.body = 错误正文("the policy could not be written");
    return 结果;
  }
  if (成员 && 回退 == 0) 结果.offer = 提供记录{推出.id, 请求.installationId, 推出.stepIndex, 现在};
  return 结果;
}

}  // namespace tallybell::服务
