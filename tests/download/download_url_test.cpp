#include "transport/download_url.h"

#include <gtest/gtest.h>

#include "common/text.h"

namespace tallybell {
namespace {

TEST(下载地址规则, 只允许HTTPS与指定内容主机的明文HTTP) {
  const std::wstring 主机 = 逐字节加宽(TALLYBELL_CONTENT_HOST);
  std::wstring 大写主机 = 主机;
  for (wchar_t& 字符 : 大写主机) {
    if (字符 >= L'a' && 字符 <= L'z') 字符 = static_cast<wchar_t>(字符 - L'a' + L'A');
  }
  const struct {
    std::wstring 地址;
    bool 有效;
  } 用例[] = {
      {L"https://a", true},  // the shortest address
      {L"https://", false},
      {L"https:/", false},
      {L"HTTPS://Mirror.Example/objects/x", true},
      {L"https://mirror.example/o?x=1#y", true},
      {L"https://例子.example/对象", true},  // only characters below U+0021 are refused
      {L"http://" + 主机, true},
      {L"http://" + 主机 + L"/o", true},
      {L"http://" + 主机 + L"?o", true},
      {L"http://" + 主机 + L"#o", true},
      {L"HTTP://" + 大写主机 + L"/o", true},
      {L"http://" + 主机 + L".attacker.example/o", false},
      {L"http://" + 主机 + L":8080/o", false},
      {L"http://" + 主机 + L"@attacker.example/o", false},
      {L"http://mirror.example/o", false},
      {L"ftp://mirror.example/o", false},
      {L"https://mirror.example/a b", false},
      {L"https://mirror.example/a\tb", false},
      {L"https://mirror.example/a\x01" L"b", false},
      {L"https://mirror.example\\o", false},
      {L"https://mirror.example/o\n", false},
      {L"", false},
  };
  for (const auto& 项 : 用例) {
    EXPECT_EQ(下载地址有效(项.地址), 项.有效) << ::testing::PrintToString(项.地址);
  }
}

}  // namespace
}  // namespace tallybell
