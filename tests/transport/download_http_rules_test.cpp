#include "transport/download_http_rules.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/text.h"
#include "transport/download_url.h"

namespace tallybell {
namespace {

const std::wstring 内容主机 = 逐字节加宽(TALLYBELL_CONTENT_HOST);

// The task's URL rule (what a manifest may list), the client's request rule and the rule
// for every address a download reaches, which must pass both.
TEST(下载地址规则, 任务地址请求地址与到达地址) {
  std::wstring 大写主机 = 内容主机;
  for (wchar_t& 字符 : 大写主机) 字符 = (字符 >= L'a' && 字符 <= L'z') ? 字符 - L'a' + L'A' : 字符;
  const struct {
    std::wstring 地址;
    bool 任务, 可请求, 可到达;
  } 用例表[] = {
      {L"https://a", true, true, true},
      {L"https://", false, false, false},
      {L"HTTPS://Mirror.Example:8443/o?x=1#y", true, true, true},
      {L"https://例子.example/对象", true, false, false},  // only characters below U+0021 are refused
      {L"http://" + 内容主机, true, true, true},
      {L"http://" + 内容主机 + L"?o", true, true, true},
      {L"HTTP://" + 大写主机 + L"/o", true, true, true},
      // The content host with a port passes the client's rule, not the task's.
      {L"http://" + 内容主机 + L":8080/o", false, true, false},
      {L"http://" + 内容主机 + L".attacker.example/o", false, false, false},
      {L"http://" + 内容主机 + L"@attacker.example/o", false, false, false},
      {L"http://mirror.example/o", false, false, false},
      {L"ftp://mirror.example/o", false, false, false},
      {L"https://mirror.example/a b", false, true, false},
      {L"https://mirror.example/o\n", false, true, false},
      {L"https://mirror.example\\o", false, false, false},
      {L"", false, false, false},
  };
  for (const auto& 项 : 用例表) {
    SCOPED_TRACE(testing::PrintToString(项.地址));
    EXPECT_EQ(下载地址有效(项.地址), 项.任务);
    EXPECT_EQ(下载内容地址允许(项.地址), 项.可请求);
    EXPECT_EQ(下载到达地址允许(项.地址), 项.可到达);
  }
}

TEST(下载响应头, 数字与ContentRange只收完整有序的值) {
  const struct {
    std::wstring 文本;
    bool 有效;
    std::uint64_t 值;
  } 数字表[] = {
      {L"12345", true, 12345},
      {L" \t+42", true, 42},
      {L"18446744073709551615", true, 18446744073709551615u},
      {L"18446744073709551616", false, 0},
      {L"", false, 0},
      {L"-1", false, 0},
      {L"0x10", false, 0},
      {L"１２", false, 0},  // full-width digits
  };
  for (const auto& 项 : 数字表) {
    SCOPED_TRACE(testing::PrintToString(项.文本));
    std::uint64_t 值 = 99;
    EXPECT_EQ(解析下载头数字(项.文本, &值), 项.有效);
    EXPECT_EQ(值, 项.有效 ? 项.值 : 99u);
  }
  const struct {
    std::wstring 值;
    std::uint64_t 起点, 总长;  // 总长 0: invalid
  } 范围表[] = {
      {L"bytes 100-199/1000", 100, 1000},
      {L"bytes 5-5/6", 5, 6},
      {L"bytes 0-18446744073709551614/18446744073709551615", 0, 18446744073709551615u},
      {L"bytes 0-99/*", 0, 0},
      {L"bytes */100", 0, 0},
      {L"bytes 5-4/10", 0, 0},
      {L"bytes 0-10/10", 0, 0},
      {L"Bytes 0-9/10", 0, 0},
      {L"bytes -5-9/10", 0, 0},
      {L"bytes 0-9/1x", 0, 0},
  };
  for (const auto& 项 : 范围表) {
    SCOPED_TRACE(testing::PrintToString(项.值));
    std::uint64_t 起点 = 7, 总长 = 7;
    EXPECT_EQ(解析ContentRange(项.值, &起点, &总长), 项.总长 != 0);
    EXPECT_EQ(起点, 项.总长 != 0 ? 项.起点 : 7u);
    EXPECT_EQ(总长, 项.总长 != 0 ? 项.总长 : 7u);
  }
}

// The values the client reads are checked end to end against the loopback service (the
// download client's tests); here each refusal keeps the head untouched.
TEST(下载响应头, 无效值与地址各有其消息且不动输出) {
  std::wstring 错误;
  const struct {
    下载原始响应头 原始;
    std::wstring 最终地址;
    const wchar_t* 消息;
  } 失败表[] = {
      {{L"-1", std::nullopt, std::nullopt}, L"https://cdn.example/o", 下载HTTP消息::ContentLength无效},
      {{std::nullopt, L"bytes 0-99/*", std::nullopt}, L"https://cdn.example/o", 下载HTTP消息::ContentRange无效},
      {{}, L"http://mirror.example/o", 下载HTTP消息::最终地址不在允许地址内},
      {{}, L"http://" + 内容主机 + L":81/o", 下载HTTP消息::最终地址不在允许地址内},
  };
  for (const auto& 项 : 失败表) {
    SCOPED_TRACE(testing::PrintToString(项.最终地址));
    下载响应 未动;
    未动.statusCode = 7;
    EXPECT_FALSE(构建下载响应头(200, 项.最终地址, 项.原始, &未动, &错误));
    EXPECT_EQ(错误, 项.消息);
    EXPECT_EQ(未动.statusCode, 7u);
  }
}

}  // namespace
}  // namespace tallybell
