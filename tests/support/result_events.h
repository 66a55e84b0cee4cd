// A complete, valid result event for tests that need something in the queue.
#pragma once

#include <string>

#include "results/result_queue.h"

namespace tallybell::测试 {

inline 结果事件 测试结果事件(const std::string& 标识) {
  // eventId, installationId, assignmentId, policyVersion, originalReleaseId, targetReleaseId,
  // finalReleaseId, result, failureStage, errorCode, taskId, occurredAt
  return {标识, "inst", "a1", 7, "", "r2", "", "prepared", "", 0, "update-" + 标识, "2026-12-06T01:02:03Z"};
}

}  // namespace tallybell::测试
