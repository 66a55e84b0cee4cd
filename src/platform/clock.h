// Time and process identity.
#pragma once

#include <cstdint>

namespace tallybell::platform {

// 100-nanosecond intervals since 1601-01-01 00:00:00 UTC.
std::uint64_t 系统时间();
// Milliseconds since an arbitrary fixed point (system start), never going backwards.
std::uint64_t 毫秒计时();
std::uint32_t 进程标识();
std::uint32_t 线程标识();

struct 本地时刻 {
  std::uint32_t 年 = 0, 月 = 0, 日 = 0, 时 = 0, 分 = 0, 秒 = 0, 毫秒 = 0;
};
// The wall clock in the local time zone.
本地时刻 取本地时刻();

}  // namespace tallybell::platform
