#include <gtest/gtest.h>

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

// Impossible dates and times are refused through the check-time parse (check_time_test).
TEST(UTC时间, 已知时刻的往返) {
  const struct {
    UTC时刻 时刻;
    std::uint64_t 值;
    const char* 文本;
  } 用例表[] = {
      {{1601, 1, 1, 0, 0, 0}, 0, "1601-01-01T00:00:00Z"},
      {{1970, 1, 1, 0, 0, 0}, 116444736000000000ULL, "1970-01-01T00:00:00Z"},
      {{2000, 2, 29, 23, 59, 59}, 125963423990000000ULL, "2000-02-29T23:59:59Z"},
      {{9999, 12, 31, 23, 59, 59}, 2650467743990000000ULL, "9999-12-31T23:59:59Z"},
  };
  for (const auto& 项 : 用例表) {
    std::uint64_t 值 = 0;
    ASSERT_TRUE(合成UTC时间(项.时刻, &值)) << 项.文本;
    EXPECT_EQ(值, 项.值) << 项.文本;
    EXPECT_EQ(格式化UTC时间(项.值), 项.文本);
    const UTC时刻 回来 = 分解UTC时间(项.值 + 9999999);  // sub-second parts are dropped
    EXPECT_EQ(回来.年, 项.时刻.年);
    EXPECT_EQ(回来.日, 项.时刻.日);
    EXPECT_EQ(回来.秒, 项.时刻.秒);
  }
}

}  // namespace
}  // namespace tallybell
