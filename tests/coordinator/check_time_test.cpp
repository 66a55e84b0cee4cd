#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "common/time_text.h"
#include "coordinator/resolve_request.h"

namespace tallybell {
namespace {

constexpr std::uint64_t 每分钟 = 600000000ULL;

std::uint64_t 时刻值(std::uint32_t 年, std::uint32_t 月, std::uint32_t 日, std::uint32_t 时 = 0,
                     std::uint32_t 分 = 0, std::uint32_t 秒 = 0) {
  std::uint64_t 值 = 0;
  EXPECT_TRUE(合成UTC时间({年, 月, 日, 时, 分, 秒}, &值));
  return 值;
}

TEST(解析检查时间, 有效形式) {
  const std::uint64_t 基准 = 时刻值(2026, 12, 5, 1, 2, 3);
  const struct {
    const char* 文本;
    std::uint64_t 期望;
  } 用例[] = {
      {"2026-12-05T01:02:03Z", 基准},
      {"2026-12-05T01:02:03.5z", 基准},
      {"2026-12-05T09:02:03+08:00", 基准},
      {"2026-12-04T20:02:03-05:00", 基准},
      {"2026-12-05T01:02:03.123456789+00:00", 基准},
      {"2026-12-05T01:02:03-00:00", 基准},
      {"2026-12-05t01:02:03Z", 基准},
      {"2026-12-05T06:47:03+05:45", 基准},
      {"2026-12-05T01:02:03+23:59", 基准 - (23 * 60 + 59) * 每分钟},
      {"1601-01-01T00:00:00Z", 0},
      {"1601-01-01T00:00:00-00:30", 30 * 每分钟},
      {"1601-01-01T01:00:00+01:00", 0},
      {"2024-02-29T12:00:00Z", 时刻值(2024, 2, 29, 12)},
      {"2000-02-29T00:00:00Z", 时刻值(2000, 2, 29)},
      {"9999-12-31T23:59:59Z", 时刻值(9999, 12, 31, 23, 59, 59)},
      // The offset may carry the time past the last representable day.
      {"9999-12-31T23:59:59-14:00", 时刻值(9999, 12, 31, 23, 59, 59) + 14 * 60 * 每分钟},
  };
  for (const auto& 项 : 用例) {
    std::uint64_t 值 = 7;
    EXPECT_TRUE(解析检查时间(项.文本, &值)) << 项.文本;
    EXPECT_EQ(值, 项.期望) << 项.文本;
  }
}

TEST(解析检查时间, 偏离形式一律失败) {
  const std::string 用例[] = {
      "2026-12-05T01:02:03",         // no zone
      "2026-12-05T01:02:03.Z",       // fraction without digits
      "2026-12-05T01:02:03.",        //
      "2026-12-05T01:02:03+24:00",   // hours above 23
      "2026-12-05T01:02:03+08:60",   // minutes above 59
      "2026-12-05T01:02:03+0800",    // no colon
      "2026-12-05T01:02:03+08:00Z",  // something after the zone
      "2026-12-05T01:02:03ZZ",       //
      "2026-12-05T01:02:03 Z",       //
      "2026-12-05T01:02:03+0a:00",   // offset digits
      "2026-12-05T01:02:03+0/:00",   //
      "2026-12-05T01:02:03-1:00x",   //
      "2026-12-05 01:02:03Z",        // blank instead of T
      "2026-12-05T01:02: 3Z",        // blank in place of a digit
      "2026-12-05T01:02:+3Z",        // sign in place of a digit
      "2026-1-05T01:02:03Z",         //
      "2026/12/05T01:02:03Z",        //
      "2026-02-30T00:00:00Z",        // impossible dates and times
      "2026-04-31T00:00:00Z",        //
      "1900-02-29T00:00:00Z",        //
      "2026-13-01T00:00:00Z",        //
      "2026-00-01T00:00:00Z",        //
      "2026-01-00T00:00:00Z",        //
      "2026-12-05T24:00:00Z",        //
      "2026-12-05T23:60:00Z",        //
      "2026-12-05T23:59:60Z",        //
      "1600-12-31T23:59:59Z",        // outside 1601 to 9999
      "10000-01-01T00:00:00Z",       //
      "1601-01-01T00:30:00+01:00",   // before 1601 after the offset
      "",
      std::string("2026-12-05T01:02:03Z\0", 21),
      std::string("2026-12\0005T01:02:03Z", 20),
  };
  for (const std::string& 文本 : 用例) {
    std::uint64_t 值 = 7;
    EXPECT_FALSE(解析检查时间(文本, &值)) << 文本;
    EXPECT_EQ(值, 7u) << 文本;
  }
  EXPECT_FALSE(解析检查时间("2026-12-05T01:02:03Z", nullptr));
}

}  // namespace
}  // namespace tallybell
