// Time sources and process identity on Windows.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <ctime>
#include <thread>

#include "platform/clock.h"

namespace tallybell::platform {
namespace {

TEST(WindowsClock, SystemTimeCountsFrom1601InHundredNanoseconds) {
  // Seconds between 1601-01-01 and 1970-01-01, the C library's epoch.
  constexpr std::uint64_t 纪元差秒 = 11644473600ull;
  const std::uint64_t 秒 = 系统时间() / 10000000ull - 纪元差秒;
  const auto C时间 = static_cast<std::uint64_t>(std::time(nullptr));
  EXPECT_LE(秒 > C时间 ? 秒 - C时间 : C时间 - 秒, 5u);
}

TEST(WindowsClock, TickCountAdvancesInMilliseconds) {
  const std::uint64_t 开始 = 毫秒计时();
  ::Sleep(100);
  const std::uint64_t 结束 = 毫秒计时();
  // The tick moves in steps of 10 to 16 ms (also under Wine), so allow one step early.
  EXPECT_GE(结束 - 开始, 84u);
  EXPECT_LT(结束 - 开始, 5000u);
}

TEST(WindowsClock, ThreadIdsDifferAndProcessIdIsStable) {
  const std::uint32_t 本线程 = 线程标识();
  std::uint32_t 别的线程 = 本线程;
  std::uint32_t 别处进程 = 0;
  std::thread([&] {
    别的线程 = 线程标识();
    别处进程 = 进程标识();
  }).join();
  EXPECT_NE(别的线程, 本线程);
  EXPECT_EQ(别处进程, 进程标识());
  EXPECT_NE(进程标识(), 0u);
}

TEST(WindowsClock, LocalTimeFieldsAreInRange) {
  const 本地时刻 t = 取本地时刻();
  EXPECT_GE(t.年, 2024u);
  EXPECT_GE(t.月, 1u);
  EXPECT_LE(t.月, 12u);
  EXPECT_GE(t.日, 1u);
  EXPECT_LE(t.日, 31u);
  EXPECT_LE(t.时, 23u);
  EXPECT_LE(t.分, 59u);
  EXPECT_LE(t.秒, 59u);
  EXPECT_LE(t.毫秒, 999u);
}

}  // namespace
}  // namespace tallybell::platform
