#include "transport/json_http_rules.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "common/text.h"

namespace tallybell {
namespace {

const std::wstring 内容主机 = 逐字节加宽(TALLYBELL_CONTENT_HOST);

std::wstring 大写(std::wstring 文本) {
  for (auto& 字符 : 文本) {
    if (字符 >= L'a' && 字符 <= L'z') 字符 = static_cast<wchar_t>(字符 - L'a' + L'A');
  }
  return 文本;
}

JsonHttp请求 有效请求() {
  JsonHttp请求 请求;
  请求.method = L"POST";
  请求.url = L"https://updates.tallybell.example/update/v1/resolve";
  请求.maxResponseBytes = 1024;
  return 请求;
}

TEST(JsonHttp地址规则, HTTPS任意主机与端口明文只限指定内容主机) {
  struct 用例 {
    std::wstring 地址;
    bool 仅HTTPS时;
    bool 允许内容主机时;
  };
  const std::vector<用例> 用例表 = {
      {L"https://updates.tallybell.example/update/v1/resolve", true, true},
      {L"HTTPS://Updates.Example:8443/a?b#c", true, true},
      {L"https://user:pw@host.example/x", true, true},
      {L"https://[::1]:8443/", true, true},
      {L"https://host.example:/", true, true},
      {L"https://host.example:65535/", true, true},
      {L"http://" + 内容主机 + L"/m.json", false, true},
      {L"HTTP://" + 大写(内容主机) + L"/m.json", false, true},
      {L"http://" + 内容主机 + L":8080/m.json", false, true},
      {L"http://" + 内容主机, false, true},
      {L"http://" + 内容主机 + L"x/m.json", false, false},
      {L"http://x" + 内容主机 + L"/m.json", false, false},
      {L"http://" + 内容主机 + L".evil.example/m.json", false, false},
      {L"http://" + 内容主机 + L"@evil.example/m.json", false, false},
      {L"http://other.example/m.json", false, false},
      {L"https://", false, false},
      {L"https:///path", false, false},
      {L"https://:443/", false, false},
      {L"https://user@/", false, false},
      {L"https://a@b@host.example/", false, false},
      {L"https://host.example:0/", false, false},
      {L"https://host.example:65536/", false, false},
      {L"https://host.example:44a/", false, false},
      {L"https://[]/", false, false},
      {L"https://[::1/", false, false},
      {L"https://[::1]x/", false, false},
      {L"ftp://host.example/", false, false},
      {L"host.example/x", false, false},
      {L"https://ho st.example/", false, false},
      {L"https://host.example/a\\b", false, false},
      {L"https://host.example/\x00e9", false, false},
      {L"https://host.example/\r\nX: y", false, false},
  };
  for (const auto& 项 : 用例表) {
    SCOPED_TRACE(宽转UTF8宽松(项.地址));
    EXPECT_EQ(JsonHttp地址允许(项.地址, false), 项.仅HTTPS时);
    EXPECT_EQ(JsonHttp地址允许(项.地址, true), 项.允许内容主机时);
  }
}

TEST(JsonHttp准备, 参数地址请求头依次检查且各有其消息) {
  JsonHttp响应 响应;
  JsonHttp准备结果 结果;
  const auto 检查 = [&](const JsonHttp请求& 请求, const JsonHttp响应* 输出) {
    std::wstring 错误;
    EXPECT_FALSE(准备JsonHttp请求(请求, 输出, &结果, &错误));
    return 错误;
  };
  EXPECT_EQ(检查(有效请求(), nullptr), JsonHttp消息::请求参数无效);
  for (const wchar_t* 方法 : {L"", L"GE T", L"GET\r\nX: y", L"P\x00d3ST"}) {
    auto 请求 = 有效请求();
    请求.method = 方法;
    请求.url = L"not a url";  // the parameters are checked first
    EXPECT_EQ(检查(请求, &响应), JsonHttp消息::请求参数无效);
  }
  auto 无上限 = 有效请求();
  无上限.maxResponseBytes = 0;
  EXPECT_EQ(检查(无上限, &响应), JsonHttp消息::请求参数无效);

  auto 明文 = 有效请求();
  明文.url = L"http://" + 内容主机 + L"/m.json";
  明文.headers = {{L"X-A", L""}};  // the address is checked before the headers
  EXPECT_EQ(检查(明文, &响应), JsonHttp消息::地址必须使用HTTPS);
  明文.url = L"http://other.example/m.json";
  明文.allowContentHost = true;
  EXPECT_EQ(检查(明文, &响应), JsonHttp消息::地址不在允许内容地址内);

  const std::vector<std::pair<std::wstring, std::wstring>> 无效请求头 = {
      {L"X-A", L""},         {L"", L"v"},          {L"X-A", L"a\nb"},          {L"X-A", L"a\rb"},
      {L"X\r\nY", L"v"},     {L"X-A", L"v\r\n"},   {L"X-A", std::wstring(L"a\0b", 3)},
      {L"X-A", L"\xD800"},
  };
  for (const auto& 请求头 : 无效请求头) {
    auto 请求 = 有效请求();
    请求.headers = {{L"Content-Type", L"application/json"}, 请求头};
    EXPECT_EQ(检查(请求, &响应), JsonHttp消息::请求头包含无效字符);
  }
}

TEST(JsonHttp跳转, 最多五次且每个目标都先经过地址规则) {
  auto 请求 = 有效请求();
  JsonHttp跳转状态 状态(请求);
  std::wstring 错误;
  for (int 次 = 1; 次 <= 5; ++次) {
    const std::wstring 目标 = L"https://updates.tallybell.example/hop/" + std::to_wstring(次);
    ASSERT_TRUE(跟随JsonHttp跳转(&状态, 307, 目标, false, &错误));
    EXPECT_EQ(状态.url, 目标);
  }
  EXPECT_FALSE(跟随JsonHttp跳转(&状态, 307, L"https://updates.tallybell.example/hop/6", false, &错误));
  EXPECT_EQ(错误, JsonHttp消息::请求失败);
  EXPECT_EQ(状态.url, L"https://updates.tallybell.example/hop/5");
  EXPECT_EQ(状态.跳转次数, 5u);

  JsonHttp跳转状态 新状态(请求);
  const std::wstring 内容地址 = L"http://" + 内容主机 + L"/m.json";
  EXPECT_FALSE(跟随JsonHttp跳转(&新状态, 302, 内容地址, false, &错误));
  EXPECT_EQ(错误, JsonHttp消息::最终地址不在允许地址内);
  EXPECT_FALSE(跟随JsonHttp跳转(&新状态, 302, L"http://other.example/m.json", true, &错误));
  EXPECT_EQ(错误, JsonHttp消息::最终地址不在允许地址内);
  EXPECT_EQ(新状态.url, 请求.url);
  EXPECT_EQ(新状态.跳转次数, 0u);
  EXPECT_TRUE(跟随JsonHttp跳转(&新状态, 302, 内容地址, true, &错误));
  EXPECT_TRUE(错误.empty());
}

TEST(JsonHttp跳转, 状态码决定方法与正文是否保留) {
  struct 用例 {
    std::uint32_t 状态码;
    std::wstring 方法;
    std::wstring 之后方法;
    bool 之后发送正文;
  };
  const std::vector<用例> 用例表 = {
      {303, L"POST", L"GET", false}, {303, L"PUT", L"GET", false}, {303, L"HEAD", L"HEAD", true},
      {302, L"POST", L"GET", false}, {301, L"POST", L"GET", false}, {302, L"PUT", L"PUT", true},
      {307, L"POST", L"POST", true}, {308, L"POST", L"POST", true}, {301, L"GET", L"GET", true},
  };
  for (const auto& 项 : 用例表) {
    auto 请求 = 有效请求();
    请求.method = 项.方法;
    JsonHttp跳转状态 状态(请求);
    ASSERT_TRUE(跟随JsonHttp跳转(&状态, 项.状态码, L"https://h.example/next", false, nullptr));
    EXPECT_EQ(状态.method, 项.之后方法) << 项.状态码;
    EXPECT_EQ(状态.发送正文, 项.之后发送正文) << 项.状态码;
  }
  for (const std::uint32_t 状态码 : {300u, 304u, 305u, 306u, 200u, 309u}) EXPECT_FALSE(是跳转状态码(状态码));
}

TEST(JsonHttp正文缓冲, 恰好到上限可以超过则拒绝且保留已有内容) {
  JsonHttp正文缓冲 正文(10);
  std::wstring 错误;
  EXPECT_TRUE(正文.追加("abcd", 4, &错误));
  EXPECT_TRUE(正文.追加("efghij", 6, &错误));
  EXPECT_FALSE(正文.追加("k", 1, &错误));
  EXPECT_EQ(错误, JsonHttp消息::响应超过大小上限);
  EXPECT_EQ(正文.取出(), "abcdefghij");

  JsonHttp正文缓冲 小(3);
  EXPECT_FALSE(小.追加("abcd", 4, nullptr));
  EXPECT_EQ(小.长度(), 0u);

  JsonHttp正文缓冲 无穷(std::numeric_limits<std::uint64_t>::max());
  EXPECT_TRUE(无穷.追加("x", 1, nullptr));
}

}  // namespace
}  // namespace tallybell
