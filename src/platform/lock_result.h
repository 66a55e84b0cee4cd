// Outcome of waiting for a lock shared between processes.
#pragma once

namespace tallybell::platform {

// A lock abandoned by a process that died while holding it counts as 取得: the kernel
// released it, and the data it guarded is protected by atomic replacement, not by the lock.
enum class 加锁结果 { 取得, 超时, 错误 };

}  // namespace tallybell::platform
