#include "platform/clock.h"

#include <windows.h>

namespace tallybell::platform {

std::uint64_t 系统时间() {
  FILETIME 时间{};
  ::GetSystemTimeAsFileTime(&时间);
  return (static_cast<std::uint64_t>(时间.dwHighDateTime) << 32) | 时间.dwLowDateTime;
}

std::uint64_t 毫秒计时() { return ::GetTickCount64(); }

std::uint32_t 进程标识() { return ::GetCurrentProcessId(); }

std::uint32_t 线程标识() { return ::GetCurrentThreadId(); }

本地时刻 取本地时刻() {
  SYSTEMTIME 时间{};
  ::GetLocalTime(&时间);
  本地时刻 结果;
  结果.年 = 时间.wYear;
  结果.月 = 时间.wMonth;
  结果.日 = 时间.wDay;
  结果.时 = 时间.wHour;
  结果.分 = 时间.wMinute;
  结果.秒 = 时间.wSecond;
  结果.毫秒 = 时间.wMilliseconds;
  return 结果;
}

}  // namespace tallybell::platform
