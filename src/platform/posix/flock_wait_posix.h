// The timed wait for an exclusive flock, shared by the named mutex and the named semaphore.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/lock_result.h"

namespace tallybell::platform {

// Takes an exclusive lock on the first of 描述符 that is free, trying them in order and
// waiting at most 毫秒 (0: one round). *取得序号 names the locked one.
加锁结果 等待独占flock(const std::vector<int>& 描述符, std::uint32_t 毫秒, std::size_t* 取得序号);

}  // namespace tallybell::platform
