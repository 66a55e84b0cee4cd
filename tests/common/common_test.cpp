#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "common/command_line.h"
#include "common/text.h"
#include "common/time_text.h"

namespace tallybell {
namespace {

// Quoted, an argument splits back to itself; unquoted words split at blanks.
TEST(引用参数, 按反斜杠和引号规则转义且拆分后还原) {
  const struct {
    std::wstring 输入;
    std::wstring 期望;
  } 用例表[] = {
      {L"C:\\a b\\", L"\"C:\\a b\\\\\""},                 // trailing backslash doubled
      {L"\"say hi\"", L"\"\\\"say hi\\\"\""},             // quotes escaped
      {L"plain", L"\"plain\""},                           // quoted even without blanks
      {L"", L"\"\""},
      {L"a\\\\\"b", L"\"a\\\\\\\\\\\"b\""},              // 2 backslashes before a quote become 5
      {L"a\\b", L"\"a\\b\""},                             // a lone inner backslash stays single
  };
  for (const auto& 项 : 用例表) {
    EXPECT_EQ(引用参数(项.输入), 项.期望) << 项.期望.size();
    EXPECT_EQ(拆分命令行(L"--a " + 项.期望), (std::vector<std::wstring>{L"--a", 项.输入})) << 项.期望.size();
  }
  EXPECT_EQ(拆分命令行(L"  a  b\tc "), (std::vector<std::wstring>{L"a", L"b", L"c"}));
  EXPECT_TRUE(拆分命令行(L"   ").empty());
}

TEST(文本转换, 严格转换往返且拒绝孤立代理与畸形UTF8) {
  // U+1D11E as one code point (32-bit wchar_t) or as a surrogate pair (16-bit).
  const std::wstring 音符 = sizeof(wchar_t) == 2 ? std::wstring{static_cast<wchar_t>(0xD834), static_cast<wchar_t>(0xDD1E)}
                                                 : std::wstring(1, static_cast<wchar_t>(0x1D11E));
  const std::wstring 原文 = L"a\u00e9\u4e2d" + 音符;
  std::string 字节;
  ASSERT_TRUE(宽转UTF8(原文, &字节));
  EXPECT_EQ(字节, "a\xC3\xA9\xE4\xB8\xAD\xF0\x9D\x84\x9E");
  std::wstring 回来;
  ASSERT_TRUE(UTF8转宽(字节, &回来));
  EXPECT_EQ(回来, 原文);

  // Unpaired surrogates at both ends of the range; the output is emptied.
  for (const wchar_t 代理 : {static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0xDFFF)}) {
    字节 = "old";
    EXPECT_FALSE(宽转UTF8(L"x" + std::wstring(1, 代理), &字节));
    EXPECT_TRUE(字节.empty());
  }
  for (const char* 文本 : {"\xFF", "\xC0\x80", "\xE0\x80\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xC3", "\xE4\xB8", "\x80"}) {
    std::wstring 输出 = L"old";
    EXPECT_FALSE(UTF8转宽(文本, &输出)) << 文本;
    EXPECT_TRUE(输出.empty());
  }
}


constexpr std::uint64_t 每分钟 = 600000000ULL;
constexpr std::uint64_t 无效 = ~0ULL;

std::uint64_t 时刻值(std::uint32_t 年, std::uint32_t 月, std::uint32_t 日, std::uint32_t 时 = 0,
                     std::uint32_t 分 = 0, std::uint32_t 秒 = 0) {
  std::uint64_t 值 = 0;
  EXPECT_TRUE(合成UTC时间({年, 月, 日, 时, 分, 秒}, &值));
  return 值;
}

TEST(解析检查时间, 形式与时区偏移) {
  const std::uint64_t 基准 = 时刻值(2026, 12, 5, 1, 2, 3);
  const struct {
    std::string 文本;
    std::uint64_t 期望;  // 无效: refused, output untouched
  } 用例[] = {
      {"2026-12-05T01:02:03Z", 基准}, {"2026-12-05T01:02:03.5z", 基准}, {"2026-12-05t01:02:03Z", 基准},
      {"2026-12-05T09:02:03+08:00", 基准}, {"2026-12-04T20:02:03-05:00", 基准}, {"2026-12-05T06:47:03+05:45", 基准},
      {"2026-12-05T01:02:03.123456789-00:00", 基准},
      {"2026-12-05T01:02:03+23:59", 基准 - (23 * 60 + 59) * 每分钟},
      {"1601-01-01T00:00:00-00:30", 30 * 每分钟}, {"1601-01-01T01:00:00+01:00", 0},
      {"2000-02-29T00:00:00Z", 时刻值(2000, 2, 29)},
      // The offset may carry the time past the last representable day.
      {"9999-12-31T23:59:59-14:00", 时刻值(9999, 12, 31, 23, 59, 59) + 14 * 60 * 每分钟},
      {"2026-12-05T01:02:03", 无效}, {"2026-12-05T01:02:03.Z", 无效}, {"2026-12-05T01:02:03+24:00", 无效},
      {"2026-12-05T01:02:03+08:60", 无效}, {"2026-12-05T01:02:03+0800", 无效}, {"2026-12-05T01:02:03+08:00Z", 无效},
      {"2026-12-05T01:02:03ZZ", 无效}, {"2026-12-05T01:02:03+0a:00", 无效}, {"2026-12-05T01:02:03+0/:00", 无效},
      {"2026-12-05 01:02:03Z", 无效}, {"2026-12-05T01:02: 3Z", 无效}, {"2026-12-05T01:02:+3Z", 无效},
      {"2026-1-05T01:02:03Z", 无效}, {"2026/12/05T01:02:03Z", 无效}, {"2026-02-30T00:00:00Z", 无效},
      {"1900-02-29T00:00:00Z", 无效}, {"2026-04-31T00:00:00Z", 无效}, {"2026-13-01T00:00:00Z", 无效},
      {"2026-00-01T00:00:00Z", 无效}, {"2026-01-00T00:00:00Z", 无效}, {"2026-12-05T24:00:00Z", 无效},
      {"2026-12-05T23:60:00Z", 无效}, {"2026-12-05T23:59:60Z", 无效}, {"1600-12-31T23:59:59Z", 无效},
      {"10000-01-01T00:00:00Z", 无效}, {"1601-01-01T00:30:00+01:00", 无效}, {"", 无效},
      {std::string("2026-12-05T01:02:03Z\0", 21), 无效}, {std::string("2026-12\0005T01:02:03Z", 20), 无效},
  };
  for (const auto& 项 : 用例) {
    std::uint64_t 值 = 无效;
    EXPECT_EQ(解析检查时间(项.文本, &值), 项.期望 != 无效) << 项.文本;
    EXPECT_EQ(值, 项.期望) << 项.文本;
  }
  EXPECT_FALSE(解析检查时间("2026-12-05T01:02:03Z", nullptr));
}

// Known instants: the start of the count, the Unix epoch, a leap day and the last second.
TEST(UTC时间, 已知时刻的往返) {
  for (const auto& [值, 文本] : std::vector<std::pair<std::uint64_t, std::string>>{
           {0, "1601-01-01T00:00:00Z"}, {116444736000000000ULL, "1970-01-01T00:00:00Z"},
           {125963423990000000ULL, "2000-02-29T23:59:59Z"}, {2650467743990000000ULL, "9999-12-31T23:59:59Z"}}) {
    EXPECT_EQ(格式化UTC时间(值 + 9999999), 文本);  // sub-second parts are dropped
    std::uint64_t 读回 = 1;
    EXPECT_TRUE(解析检查时间(文本, &读回)) << 文本;
    EXPECT_EQ(读回, 值) << 文本;
  }
}

}  // namespace
}  // namespace tallybell
