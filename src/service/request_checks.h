// Validation of what installations send, with the update core's own strict JSON reader and
// event rules, so the service and the client never disagree about what is valid.
#pragma once

#include <string>
#include <vector>

#include "service/service_records.h"

namespace tallybell::服务 {

// The largest body either endpoint reads; real requests and events are well under 4 KiB.
inline constexpr std::size_t 最大请求字节 = 64 * 1024;

struct 解析请求 {
  std::string installationId, productId, currentReleaseId, lastGoodReleaseId;
  std::vector<std::string> quarantinedReleaseIds;
};

// All nine members with their types and a valid installation id. False with a reason.
bool 检查解析请求(const std::string& 正文, 解析请求* 请求, std::string* 原因);

// An Idempotency-Key the client could have sent: an event id by the queue's rule.
bool 幂等键有效(const std::string& 键);

// The twelve members, the queue's limits, and the key equal to eventId. False with a reason.
bool 检查结果事件(const std::string& 正文, const std::string& 幂等键, 结果记录* 事件, std::string* 原因);

}  // namespace tallybell::服务
