#include "platform/clock.h"

#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

namespace tallybell::platform {
namespace {

// Seconds between 1601-01-01 and 1970-01-01.
constexpr std::uint64_t 纪元差秒 = 11644473600ULL;

}  // namespace

std::uint64_t 系统时间() {
  timespec 现在 {};
  ::clock_gettime(CLOCK_REALTIME, &现在);
  return (static_cast<std::uint64_t>(现在.tv_sec) + 纪元差秒) * 10000000ULL +
         static_cast<std::uint64_t>(现在.tv_nsec) / 100;
}

std::uint64_t 毫秒计时() {
  timespec 现在 {};
  ::clock_gettime(CLOCK_MONOTONIC, &现在);
  return static_cast<std::uint64_t>(现在.tv_sec) * 1000ULL +
         static_cast<std::uint64_t>(现在.tv_nsec) / 1000000ULL;
}

std::uint32_t 进程标识() { return static_cast<std::uint32_t>(::getpid()); }

std::uint32_t 线程标识() { return static_cast<std::uint32_t>(::syscall(SYS_gettid)); }

本地时刻 取本地时刻() {
  timespec 现在 {};
  ::clock_gettime(CLOCK_REALTIME, &现在);
  tm 分解 {};
  ::localtime_r(&现在.tv_sec, &分解);
  本地时刻 结果;
  结果.年 = static_cast<std::uint32_t>(分解.tm_year + 1900);
  结果.月 = static_cast<std::uint32_t>(分解.tm_mon + 1);
  结果.日 = static_cast<std::uint32_t>(分解.tm_mday);
  结果.时 = static_cast<std::uint32_t>(分解.tm_hour);
  结果.分 = static_cast<std::uint32_t>(分解.tm_min);
  结果.秒 = static_cast<std::uint32_t>(分解.tm_sec);
  结果.毫秒 = static_cast<std::uint32_t>(现在.tv_nsec / 1000000);
  return 结果;
}

}  // namespace tallybell::platform
