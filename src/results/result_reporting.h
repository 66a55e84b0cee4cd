// Delivering queued result events to the service, at least once, with idempotency keys.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "transport/json_http_transport.h"

namespace tallybell {

struct 结果回报计数 {
  std::uint64_t sent = 0;     // delivered and removed in this pass
  std::uint64_t pending = 0;  // event files in the queue after the pass
};

// One delivery pass over the queue in queue order: each event goes to the first URL that
// accepts it (2xx) and is then deleted; whatever cannot be read, parsed or delivered stays.
// Returns 0, 3001 (bad arguments, nothing sent) or 3019 (something stayed queued).
std::uint32_t 回报更新结果(const std::wstring& stateRoot, const std::vector<std::wstring>& resultUrls,
                           JsonHttp传输* transport, 结果回报计数* counts, std::wstring* error);

}  // namespace tallybell
