#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "common/text.h"
#include "transport/download_http_rules.h"
#include "transport/download_url.h"
#include "transport/http_address.h"
#include "transport/http_exchange.h"
#include "transport/json_http_rules.h"

namespace tallybell {
namespace {

const std::wstring 内容主机 = 逐字节加宽(TALLYBELL_CONTENT_HOST);

// One table for the address rules: a JSON request goes to HTTPS anywhere, or also to the
// designated content host over plain HTTP when the caller allows it, which is exactly the
// rule of a download request; the task's rule is what a manifest may list, and every
// address a download reaches must pass both.
TEST(HTTP地址规则, JSON请求下载请求任务地址与到达地址) {
  std::wstring 大写主机 = 内容主机;
  for (wchar_t& 字符 : 大写主机) 字符 = (字符 >= L'a' && 字符 <= L'z') ? 字符 - L'a' + L'A' : 字符;
  const struct {
    std::wstring 地址;
    bool 仅HTTPS, 可请求, 任务;
  } 用例表[] = {
      {L"HTTPS://Updates.Example:8443/a?b#c", true, true, true},
      {L"https://user:pw@[::1]:65535/", true, true, true},
      {L"https://host.example:/", true, true, true},
      {L"https://a", true, true, true},
      {L"https://host.example/a\\b c/\x00e9?q=\x4e2d", true, true, false},
      {L"https://mirror.example/o\n", true, true, false},
      {L"https://例子.example/对象", false, false, true},  // the task's rule refuses only below U+0021
      {L"http://" + 内容主机, false, true, true},
      {L"http://" + 内容主机 + L"?o", false, true, true},
      {L"HTTP://" + 大写主机 + L"/o", false, true, true},
      {L"http://" + 内容主机 + L":8080/m.json", false, true, false},
      {L"http://" + 内容主机 + L"x/m.json", false, false, false},
      {L"http://" + 内容主机 + L"@evil.example/m.json", false, false, false},
      {L"http://mirror.example/o", false, false, false},
      {L"https:///path", false, false, true},
      {L"https://a@b@host.example/", false, false, true},
      {L"https://host.example:0/", false, false, true},
      {L"https://host.example:65536/", false, false, true},
      {L"https://host.example:44a/", false, false, true},
      {L"https://[::1]x/", false, false, true},
      {L"https://h\x00e9.example/", false, false, true},
      {L"https://ho st.example/", false, false, false},
      {L"https://mirror.example\\o", false, false, false},
      {L"ftp://host.example/", false, false, false},
      {L"https://", false, false, false},
      {L"", false, false, false},
  };
  for (const auto& 项 : 用例表) {
    SCOPED_TRACE(testing::PrintToString(项.地址));
    EXPECT_EQ(JsonHttp地址允许(项.地址, false), 项.仅HTTPS);
    EXPECT_EQ(JsonHttp地址允许(项.地址, true), 项.可请求);
    EXPECT_EQ(下载内容地址允许(项.地址), 项.可请求);
    EXPECT_EQ(下载地址有效(项.地址), 项.任务);
    EXPECT_EQ(下载到达地址允许(项.地址), 项.可请求 && 项.任务);
  }
}

TEST(JsonHttp地址规则, 拆分出主机端口与不含片段的请求目标) {
  const struct {
    std::wstring 地址;
    bool https;
    std::wstring 主机;
    std::uint16_t 端口;
    std::wstring 请求目标;
  } 用例表[] = {
      {L"http://h.example?q=1", false, L"h.example", 80, L"/?q=1"},
      {L"https://user:pw@H.example:1/x#y?z", true, L"H.example", 1, L"/x"},
      {L"https://[::1]:9/p", true, L"[::1]", 9, L"/p"},
      // Bytes outside the request-target grammar go as %XX of their UTF-8; escapes stay.
      {L"https://h.example/R\x00e9sum\x00e9 1.pdf?q=\x4e2d&a=%2F#\x00e9", true, L"h.example", 443,
       L"/R%C3%A9sum%C3%A9%201.pdf?q=%E4%B8%AD&a=%2F"},
      {L"https://h.example/a\\b\"c<>^`{|}%zz%4", true, L"h.example", 443, L"/a%5Cb%22c%3C%3E%5E%60%7B%7C%7D%25zz%254"},
      {L"https://h.example/\r\nX: y", true, L"h.example", 443, L"/%0D%0AX:%20y"},
  };
  for (const auto& 项 : 用例表) {
    SCOPED_TRACE(宽转UTF8宽松(项.地址));
    HTTP地址 地址;
    ASSERT_TRUE(拆分HTTP地址(项.地址, &地址));
    EXPECT_EQ(地址.https, 项.https);
    EXPECT_EQ(地址.host, 项.主机);
    EXPECT_EQ(地址.port, 项.端口);
    EXPECT_EQ(地址.requestTarget, 项.请求目标);
  }
  HTTP地址 不变;
  不变.host = L"kept";
  EXPECT_FALSE(拆分HTTP地址(L"https://h.example/\xD800", &不变));
  EXPECT_EQ(不变.host, L"kept");
}

TEST(JsonHttp准备, 参数地址请求头依次检查且各有其消息) {
  const auto 请求 = [](std::wstring 方法, std::wstring 地址, std::pair<std::wstring, std::wstring> 请求头 = {L"A", L"b"},
                       bool 内容主机 = false, std::uint64_t 上限 = 1024) {
    JsonHttp请求 结果;
    结果.method = std::move(方法);
    结果.url = std::move(地址);
    结果.headers = {{L"Content-Type", L"application/json"}, std::move(请求头)};
    结果.allowContentHost = 内容主机;
    结果.maxResponseBytes = 上限;
    return 结果;
  };
  const std::wstring 地址 = L"https://updates.tallybell.example/update/v1/resolve";
  const std::wstring 明文 = L"http://" + 内容主机 + L"/m.json";
  const struct {
    JsonHttp请求 请求;
    std::wstring 消息;  // empty: accepted
  } 用例表[] = {
      {请求(L"POST", 地址, {L"Idempotency-Key", L"a b:c"}), L""},
      {请求(L"GE T", L"not a url"), JsonHttp消息::请求参数无效},  // parameters come first
      {请求(L"GET\r\nX: y", 地址), JsonHttp消息::请求参数无效},
      {请求(L"P\x00d3ST", 地址), JsonHttp消息::请求参数无效},
      {请求(L"POST", 地址, {L"A", L"b"}, false, 0), JsonHttp消息::请求参数无效},
      {请求(L"POST", 明文, {L"X-A", L""}), JsonHttp消息::地址必须使用HTTPS},  // the address before the headers
      {请求(L"POST", L"http://other.example/m.json", {}, true), JsonHttp消息::地址不在允许内容地址内},
      {请求(L"POST", 明文, {L"X-A", L""}, true), JsonHttp消息::请求头包含无效字符},
      {请求(L"POST", 地址, {L"", L"v"}), JsonHttp消息::请求头包含无效字符},
      {请求(L"POST", 地址, {L"X-A", L"v\r\n"}), JsonHttp消息::请求头包含无效字符},
      {请求(L"POST", 地址, {L"X-A", std::wstring(L"a\0b", 3)}), JsonHttp消息::请求头包含无效字符},
      {请求(L"POST", 地址, {L"X-A", L"\xD800"}), JsonHttp消息::请求头包含无效字符},
  };
  for (const auto& 项 : 用例表) {
    SCOPED_TRACE(宽转UTF8宽松(项.请求.method + L" " + 项.请求.url + L" " + 项.请求.headers[1].first));
    JsonHttp响应 响应;
    std::wstring 错误 = L"stale";
    EXPECT_EQ(检查JsonHttp请求(项.请求, &响应, &错误), 项.消息.empty());
    EXPECT_EQ(错误, 项.消息);
  }
}

TEST(JsonHttp跳转, 状态码决定方法而Location按基础地址解析) {
  const struct {
    std::uint32_t 状态码;
    std::wstring 方法;
    bool 改为GET;
  } 方法表[] = {{303, L"PUT", true},  {303, L"HEAD", false}, {302, L"POST", true},  {301, L"POST", true},
                {302, L"PUT", false}, {307, L"POST", false}, {308, L"POST", false}, {301, L"GET", false}};
  for (const auto& 项 : 方法表) EXPECT_EQ(跳转后改为GET(项.状态码, 项.方法), 项.改为GET) << 项.状态码;
  for (const std::uint32_t 状态码 : {300u, 304u, 305u, 306u, 200u, 309u}) EXPECT_FALSE(是跳转状态码(状态码));

  const std::wstring 基础 = L"http://a/b/c/d;p?q";
  const std::vector<std::pair<std::wstring, std::wstring>> 用例表 = {
      {L"g:h", L"g:h"},           {L"./g", L"http://a/b/c/g"},        {L"/g", L"http://a/g"},
      {L"//g", L"http://g"},      {L"#s", L"http://a/b/c/d;p?q#s"},   {L"g;x?y#s", L"http://a/b/c/g;x?y#s"},
      {L"..", L"http://a/b/"},    {L"../../../g", L"http://a/g"},     {L"./g/.", L"http://a/b/c/g/"},
      {L"g/../h", L"http://a/b/c/h"}, {L"https://other.example:8443/x/../y", L"https://other.example:8443/y"},
  };
  for (const auto& [位置, 期望] : 用例表) {
    std::wstring 结果;
    ASSERT_TRUE(合成跳转地址(基础, 位置, &结果)) << 宽转UTF8宽松(位置);
    EXPECT_EQ(结果, 期望) << 宽转UTF8宽松(位置);
  }
  std::wstring 结果;
  EXPECT_TRUE(合成跳转地址(L"https://h.example", L"next", &结果));
  EXPECT_EQ(结果, L"https://h.example/next");
  EXPECT_FALSE(合成跳转地址(基础, L"", &结果));
  EXPECT_FALSE(合成跳转地址(L"/relative/base", L"g", &结果));
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


TEST(下载响应头, 数字与ContentRange只收完整有序的值) {
  const struct {
    std::wstring 文本;
    bool 有效;
    std::uint64_t 值;
  } 数字表[] = {
      {L"12345", true, 12345}, {L" \t+42", true, 42}, {L"18446744073709551615", true, 18446744073709551615u},
      {L"18446744073709551616", false, 0}, {L"", false, 0}, {L"-1", false, 0}, {L"0x10", false, 0},
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
      {L"bytes 100-199/1000", 100, 1000}, {L"bytes 5-5/6", 5, 6},
      {L"bytes 0-18446744073709551614/18446744073709551615", 0, 18446744073709551615u},
      {L"bytes 0-99/*", 0, 0},  {L"bytes */100", 0, 0},  {L"bytes 5-4/10", 0, 0},  {L"bytes 0-10/10", 0, 0},
      {L"Bytes 0-9/10", 0, 0},  {L"bytes -5-9/10", 0, 0}, {L"bytes 0-9/1x", 0, 0},
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
  const std::tuple<下载原始响应头, std::wstring, const wchar_t*> 失败表[] = {
      {{L"-1", {}, {}}, L"https://cdn.example/o", 下载HTTP消息::ContentLength无效},
      {{{}, L"bytes 0-99/*", {}}, L"https://cdn.example/o", 下载HTTP消息::ContentRange无效},
      // Requestable, but the task's rule refuses it: a final URL must pass both.
      {{}, L"http://" + 内容主机 + L":81/o", 下载HTTP消息::最终地址不在允许地址内},
  };
  for (const auto& [原始, 最终地址, 消息] : 失败表) {
    下载响应 未动;
    未动.statusCode = 7;
    std::wstring 错误;
    EXPECT_FALSE(构建下载响应头(200, 最终地址, 原始, &未动, &错误)) << 宽转UTF8宽松(消息);
    EXPECT_EQ(错误, 消息);
    EXPECT_EQ(未动.statusCode, 7u);
  }
}

}  // namespace
}  // namespace tallybell
