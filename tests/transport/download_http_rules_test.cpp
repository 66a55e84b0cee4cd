#include "transport/download_http_rules.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/text.h"

namespace tallybell {
namespace {

const std::wstring 内容主机 = 逐字节加宽(TALLYBELL_CONTENT_HOST);

TEST(ContentRange, 首末与全长必须有序全长不可为星号) {
  struct 用例 {
    std::wstring 值;
    bool 有效;
    std::uint64_t 起点;
    std::uint64_t 总长;
  };
  const std::vector<用例> 用例表 = {
      {L"bytes 0-99/100", true, 0, 100},
      {L"bytes 100-199/1000", true, 100, 1000},
      {L"bytes 5-5/6", true, 5, 6},
      {L"bytes 0-18446744073709551614/18446744073709551615", true, 0, 18446744073709551615u},
      {L"bytes 0-99/*", false, 0, 0},
      {L"bytes */100", false, 0, 0},
      {L"bytes 5-4/10", false, 0, 0},
      {L"bytes 0-10/10", false, 0, 0},
      {L"bytes 0-9/10*", false, 0, 0},
      {L"Bytes 0-9/10", false, 0, 0},
      {L"bytes=0-9/10", false, 0, 0},
      {L"bytes 0-9", false, 0, 0},
      {L"bytes 0/9-10", false, 0, 0},
      {L"bytes -5-9/10", false, 0, 0},
      {L"bytes 0--9/10", false, 0, 0},
      {L"bytes 0-9/", false, 0, 0},
      {L"bytes 0-9/1x", false, 0, 0},
      {L"", false, 0, 0},
  };
  for (const auto& 项 : 用例表) {
    SCOPED_TRACE(testing::PrintToString(项.值));
    std::uint64_t 起点 = 7;
    std::uint64_t 总长 = 7;
    EXPECT_EQ(解析ContentRange(项.值, &起点, &总长), 项.有效);
    EXPECT_EQ(起点, 项.有效 ? 项.起点 : 7u);
    EXPECT_EQ(总长, 项.有效 ? 项.总长 : 7u);
  }
}

TEST(下载跳转, 解析相对地址检查目标且至多五次) {
  下载跳转状态 状态{L"https://cdn.example/a/b?q=1"};
  std::wstring 错误;
  ASSERT_TRUE(跟随下载跳转(&状态, L"../c", &错误));
  EXPECT_EQ(状态.url, L"https://cdn.example/c");
  ASSERT_TRUE(跟随下载跳转(&状态, L"http://" + 内容主机 + L"/d", &错误));
  EXPECT_EQ(状态.url, L"http://" + 内容主机 + L"/d");

  const std::vector<std::wstring> 拒绝的目标 = {L"http://mirror.example/o", L"", L"http://" + 内容主机 + L":8080/o"};
  for (const std::wstring& 位置 : 拒绝的目标) {
    EXPECT_FALSE(跟随下载跳转(&状态, 位置, &错误)) << testing::PrintToString(位置);
    EXPECT_EQ(错误, 下载HTTP消息::最终地址不在允许地址内);
    EXPECT_EQ(状态.url, L"http://" + 内容主机 + L"/d");
  }
  ASSERT_TRUE(跟随下载跳转(&状态, L"https://cdn.example/3", &错误));
  ASSERT_TRUE(跟随下载跳转(&状态, L"/4", &错误));
  ASSERT_TRUE(跟随下载跳转(&状态, L"/5", &错误));
  EXPECT_EQ(状态.跳转次数, 5u);
  EXPECT_FALSE(跟随下载跳转(&状态, L"/6", &错误));
  EXPECT_EQ(错误, 下载HTTP消息::请求失败);
  EXPECT_EQ(状态.url, L"https://cdn.example/5");
}

}  // namespace
}  // namespace tallybell
