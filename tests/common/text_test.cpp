#include "common/text.h"

#include <gtest/gtest.h>

namespace tallybell {
namespace {

// A wide string holding one unpaired high surrogate, in whichever width wchar_t has.
std::wstring 孤立代理() { return std::wstring(1, static_cast<wchar_t>(0xD800)); }

std::wstring 音符() {
  // U+1D11E as one code point (32-bit wchar_t) or as a surrogate pair (16-bit).
  if constexpr (sizeof(wchar_t) == 2) return {static_cast<wchar_t>(0xD834), static_cast<wchar_t>(0xDD1E)};
  return std::wstring(1, static_cast<wchar_t>(0x1D11E));
}

TEST(文本转换, 严格转换往返保持每个字符) {
  const std::wstring 原文 = L"a\u00e9\u4e2d" + 音符();
  std::string 字节;
  ASSERT_TRUE(宽转UTF8(原文, &字节));
  EXPECT_EQ(字节, "a\xC3\xA9\xE4\xB8\xAD\xF0\x9D\x84\x9E");
  std::wstring 回来;
  ASSERT_TRUE(UTF8转宽(字节, &回来));
  EXPECT_EQ(回来, 原文);
}

TEST(文本转换, 严格转换拒绝孤立代理并清空输出) {
  std::string 字节 = "old";
  EXPECT_FALSE(宽转UTF8(L"x" + 孤立代理(), &字节));
  EXPECT_TRUE(字节.empty());
  // The last surrogate unit is one too.
  EXPECT_FALSE(宽转UTF8(std::wstring(1, static_cast<wchar_t>(0xDFFF)), &字节));
}

TEST(文本转换, 严格解码拒绝畸形UTF8) {
  const char* 畸形[] = {
      "\xFF", "\xC0\x80", "\xE0\x80\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xC3", "\xE4\xB8", "\x80",
  };
  for (const char* 文本 : 畸形) {
    std::wstring 输出 = L"old";
    EXPECT_FALSE(UTF8转宽(文本, &输出)) << 文本;
    EXPECT_TRUE(输出.empty());
  }
}

}  // namespace
}  // namespace tallybell
