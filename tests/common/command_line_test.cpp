#include "common/command_line.h"

#include <gtest/gtest.h>

namespace tallybell {
namespace {

TEST(引用参数, 按反斜杠和引号规则转义) {
  struct 用例 {
    std::wstring 输入;
    std::wstring 期望;
  };
  const 用例 用例表[] = {
      {L"C:\\a b\\", L"\"C:\\a b\\\\\""},                 // trailing backslash doubled
      {L"\"say hi\"", L"\"\\\"say hi\\\"\""},             // quotes escaped
      {L"plain", L"\"plain\""},                           // quoted even without blanks
      {L"", L"\"\""},
      {L"a\\\\\"b", L"\"a\\\\\\\\\\\"b\""},              // 2 backslashes before a quote become 5
      {L"a\\b", L"\"a\\b\""},                             // a lone inner backslash stays single
  };
  for (const auto& 项 : 用例表) EXPECT_EQ(引用参数(项.输入), 项.期望) << 项.期望.size();
}

TEST(拆分命令行, 还原引用过的参数) {
  const std::vector<std::wstring> 参数 = {L"--state-root", L"C:\\a b\\", L"\"say hi\"", L"", L"x\\\\\"y",
                                         L"--elevated-repair-tasks"};
  std::wstring 命令行;
  for (const auto& 项 : 参数) 命令行 += (命令行.empty() ? L"" : L" ") + 引用参数(项);
  EXPECT_EQ(拆分命令行(命令行), 参数);
}

TEST(拆分命令行, 未加引号的词按空白分开) {
  EXPECT_EQ(拆分命令行(L"  a  b\tc "), (std::vector<std::wstring>{L"a", L"b", L"c"}));
  EXPECT_TRUE(拆分命令行(L"   ").empty());
}

}  // namespace
}  // namespace tallybell
