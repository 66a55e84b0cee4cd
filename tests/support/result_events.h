// A complete, valid result event for tests that need something in the queue.
#pragma once

#include <string>

#include "results/result_queue.h"

namespace tallybell::测试 {

inline 结果事件 测试结果事件(const std::string& 标识) {
  结果事件 事件;
  事件.eventId = 标识;
  事件.installationId = "inst";
  事件.assignmentId = "a1";
  事件.policyVersion = 7;
  事件.targetReleaseId = "r2";
  事件.result = "prepared";
  事件.taskId = "update-" + 标识;
  事件.occurredAt = "2026-12-06T01:02:03Z";
  return 事件;
}

}  // namespace tallybell::测试
