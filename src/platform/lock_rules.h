// The rules every named lock obeys on every platform, so that a name or a count that works
// on one build works on the other and a wait that is meant to end always ends.
#pragma once

#include <cstdint>
#include <limits>
#include <string>

namespace tallybell::platform {

// A semaphore spreads its slots over at most this many lock files (POSIX), and the same
// bound keeps the Windows build from accepting counts the POSIX one refuses.
inline constexpr std::uint32_t 最多名额 = 64;

inline bool 名额数可用(std::uint32_t 名额数) { return 名额数 >= 1 && 名额数 <= 最多名额; }

// A name becomes one file name in the per-user directory (POSIX) and one kernel object
// name below "Local\" (Windows): no separator of either system may reach it, and no NUL,
// which would cut it short.
inline bool 锁名称可用(const std::wstring& 名称) {
  return !名称.empty() && 名称.find_first_of(std::wstring(L"/\\\0", 3)) == std::wstring::npos;
}

// The largest wait is the longest bounded one: on Windows the same value would mean
// "forever" (INFINITE), which no caller of these locks may get by accident.
inline std::uint32_t 有界等待毫秒(std::uint32_t 毫秒) {
  constexpr std::uint32_t 最大 = std::numeric_limits<std::uint32_t>::max();
  return 毫秒 == 最大 ? 最大 - 1 : 毫秒;
}

}  // namespace tallybell::platform
