// Result events: one small JSON document per update outcome, queued on disk before it is
// sent, so that nothing is lost when the service cannot be reached.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tallybell {

// All texts are UTF-8.
struct 结果事件 {
  std::string eventId;
  std::string installationId;
  std::string assignmentId;
  std::uint64_t policyVersion = 0;
  std::string originalReleaseId;
  std::string targetReleaseId;
  std::string finalReleaseId;
  std::string result;
  std::string failureStage;
  std::uint32_t errorCode = 0;
  std::string taskId;
  std::string occurredAt;
};

// The policy values an event carries.
struct 结果事件策略 {
  std::uint64_t policyVersion = 0;
  std::string assignmentId;
  std::string targetReleaseId;
};

// <stateRoot>/results/pending
std::wstring 结果队列目录(const std::wstring& stateRoot);

// True when every field meets its queueing limit.
bool 结果事件有效(const 结果事件& 事件);

// The event document: compact JSON with all twelve keys in ascending byte order; empty when
// a text is not valid UTF-8.
std::string 结果事件文档(const 结果事件& 事件);

// Validates and stores one event as <eventId>.json. An event already queued under the same
// id is never rewritten (true without writing).
bool 结果事件入队(const std::wstring& stateRoot, const 结果事件& 事件);

// Builds an event with a new lowercase GUID as its id and the current UTC time, and
// queues it. A missing result becomes "failed", a missing failure stage empty.
bool 记录更新结果(const std::wstring& stateRoot, const std::string& installationId,
                  const 结果事件策略& 策略, const std::wstring& originalReleaseId,
                  const std::optional<std::string>& result, const std::optional<std::string>& failureStage,
                  std::uint32_t errorCode);

}  // namespace tallybell
