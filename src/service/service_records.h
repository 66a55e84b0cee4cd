// The records the update service keeps: imported releases, rollouts per channel, result
// events, offers made to installations, poison events and the operator's audit trail.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tallybell::服务 {

// What the service needs to assign a release produced by the publishing tool.
struct 发布记录 {
  std::string releaseId;
  std::string manifestUrl;
  std::string manifestHash;       // 64 lowercase hexadecimal characters
  std::string manifestSignature;  // base64 text of the publisher's signature; may be empty
  std::uint64_t addedAt = 0;      // seconds since 1970 (UTC)
};

enum class 推出状态 {
  进行中,  // "active": the plan advances by itself while healthy
  已暂停,  // "paused" by an operator
  已停止,  // "halted" by the service itself (failures or silent installations)
  已回滚,  // "rolled-back": every installation is offered the base release
  已完成,  // "complete": 100 % reached
};
const char* 推出状态文本(推出状态 状态);
bool 解析推出状态(const std::string& 文本, 推出状态* 状态);

// When a rollout stops itself. A limit of 0 is not checked.
struct 停止阈值 {
  std::uint32_t minResults = 10;          // results needed before the failure limits apply
  std::uint32_t maxFailures = 0;          // failed results
  std::uint32_t maxFailurePercent = 20;   // failed share of all results, in percent
  std::uint64_t silentAfterSeconds = 86400;  // an offer unanswered this long is silent
  std::uint32_t minSilentOffers = 10;     // ripe offers needed before the silent limit applies
  std::uint32_t maxSilentPercent = 20;    // silent share of the ripe offers in this step
};

// One rollout of a channel: installations whose bucket lies under the percentage get the
// target, everyone else the base (the release the channel ran before).
struct 推出记录 {
  std::uint64_t id = 0;  // 0: not stored yet
  std::string channel;
  std::string target;
  std::string base;  // may be empty for a channel's first rollout
  推出状态 state = 推出状态::进行中;
  std::vector<std::uint32_t> steps;  // percentages of the plan, rising
  std::uint32_t stepIndex = 0;       // current step; steps.size() once a manual percentage is set
  std::uint32_t percent = 0;         // what is offered now
  std::uint64_t stepSeconds = 86400;
  std::uint64_t stepStartedAt = 0;
  std::string haltReason;
  停止阈值 limits;
  std::uint64_t createdAt = 0;
};

// The assignmentId of every policy a rollout issues; result events carry it back.
inline std::string 分配标识(std::uint64_t 推出标识) { return "rollout-" + std::to_string(推出标识); }

struct 服务设置 {
  std::uint64_t checkIntervalSeconds = 3600;  // length of a check window
  std::string publicUrl;  // "https://host[:port]" the installations reach the service at
};

// Everything a resolve needs, read as of one revision. Every operator or automatic change
// raises the revision, so two snapshots of the same revision hold the same content.
struct 服务快照 {
  std::uint64_t revision = 0;
  // The check window every instance numbers policies by, kept in a shared database so that
  // their clocks need not agree; 0 when the service's own clock decides (one process).
  std::uint64_t window = 0;
  服务设置 settings;
  std::map<std::string, 推出记录> rollouts;  // by channel: the current rollout
  std::map<std::string, 发布记录> releases;  // by release id
};

// One accepted result event, as the installation sent it.
struct 结果记录 {
  std::string eventId, installationId, assignmentId, originalReleaseId, targetReleaseId,
      finalReleaseId, result, failureStage, taskId, occurredAt;
  std::uint64_t policyVersion = 0;
  std::uint32_t errorCode = 0;
  std::uint64_t receivedAt = 0;
};

// The first time an installation in a rollout's buckets was offered its target.
struct 提供记录 {
  std::uint64_t rolloutId = 0;
  std::string installationId;
  std::uint32_t stepIndex = 0;
  std::uint64_t offeredAt = 0;
};

// A delivery that can never become a valid event; kept for an operator instead of being
// refused for ever.
struct 隔离事件 {
  std::string idempotencyKey;
  std::string body;
  std::string reason;
  std::uint64_t receivedAt = 0;
};

struct 审计条目 {
  std::uint64_t at = 0;
  std::string who;
  std::string what;
};

struct 结果分组 {
  std::string result, failureStage;
  std::uint32_t errorCode = 0;
  std::uint64_t count = 0;
};

// What the health checks and `status` look at for one rollout.
struct 推出统计 {
  std::uint64_t results = 0, failures = 0;
  std::vector<结果分组> groups;
  std::uint64_t offersInStep = 0, ripeOffersInStep = 0, silentInStep = 0;
  std::vector<std::string> silentInstallations;  // the first few, oldest offer first
};

}  // namespace tallybell::服务
