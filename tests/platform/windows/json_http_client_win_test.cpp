// The WinHTTP JSON client. The refusals made before any connection run everywhere. The
// exchanges use plain HTTP to the designated content host, routed through the system proxy
// to a loopback server inside this test program: Wine's WinHTTP takes its default proxy
// from the http_proxy environment variable, Windows only from its machine-wide settings,
// so those tests run under Wine and are skipped (visibly) on Windows. HTTPS is not
// exchanged here: WinHTTP trusts only the machine's certificate store, which the tests
// leave alone.
#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "common/text.h"
#include "platform/json_http_client.h"
#include "platform/windows/proxy_environment_win.h"
#include "platform/windows/windows_test_support.h"
#include "support/test_service.h"
#include "transport/json_http_rules.h"

namespace tallybell::platform {
namespace {

using 测试::应答;
using 测试::服务应答;
using 测试::服务选项;
using 测试::测试服务;
using 测试::跳转应答;

const std::string 内容主机 = TALLYBELL_CONTENT_HOST;

std::wstring 宽(const std::string& 文本) { return 逐字节加宽(文本); }

JsonHttp请求 请求(const std::wstring& 地址, const wchar_t* 方法 = L"POST") {
  JsonHttp请求 结果;
  结果.method = 方法;
  结果.url = 地址;
  结果.connectTimeoutMs = 10000;
  结果.sendTimeoutMs = 10000;
  结果.receiveTimeoutMs = 10000;
  结果.maxResponseBytes = 1 << 20;
  结果.allowContentHost = true;
  return 结果;
}

// Sends and expects a failure with 消息 that leaves the response untouched.
void 期望失败(const JsonHttp请求& 请求, const wchar_t* 消息) {
  平台JsonHttp客户端 客户端;
  JsonHttp响应 响应;
  响应.statusCode = 7;
  std::wstring 错误;
  EXPECT_FALSE(客户端.发送(请求, &响应, &错误));
  EXPECT_EQ(错误, 消息);
  EXPECT_EQ(响应.statusCode, 7u);
}

using 环境变量替换 = 测试::代理环境变量;

TEST(JsonWinHttp客户端, 连接之前的拒绝各有其消息) {
  auto 空方法 = 请求(L"https://updates.tallybell.example/update/v1/resolve");
  空方法.method.clear();
  期望失败(空方法, JsonHttp消息::请求参数无效);
  auto 无上限 = 请求(L"https://updates.tallybell.example/update/v1/resolve");
  无上限.maxResponseBytes = 0;
  期望失败(无上限, JsonHttp消息::请求参数无效);
  平台JsonHttp客户端 客户端;
  std::wstring 错误;
  EXPECT_FALSE(客户端.发送(请求(L"https://updates.tallybell.example/"), nullptr, &错误));
  EXPECT_EQ(错误, JsonHttp消息::请求参数无效);

  auto 明文 = 请求(宽("http://" + 内容主机 + "/m.json"), L"GET");
  明文.allowContentHost = false;
  期望失败(明文, JsonHttp消息::地址必须使用HTTPS);
  期望失败(请求(L"http://127.0.0.1:9/m.json", L"GET"), JsonHttp消息::地址不在允许内容地址内);

  for (const auto& 请求头 : std::vector<std::pair<std::wstring, std::wstring>>{
           {L"X-A", L"a\nb"}, {L"X-A", L"a\rb"}, {L"X-A", L""}, {L"", L"v"}}) {
    auto 发出 = 请求(L"https://updates.tallybell.example/update/v1/resolve");
    发出.headers = {请求头};
    期望失败(发出, JsonHttp消息::请求头包含无效字符);
  }
}

TEST(JsonWinHttp客户端, 无法建立的HTTPS连接是请求失败) {
  环境变量替换 无代理(L"http_proxy", std::nullopt);
  auto 发出 = 请求(L"https://127.0.0.1:1/update/v1/resolve");
  发出.connectTimeoutMs = 2000;
  期望失败(发出, JsonHttp消息::请求失败);
}

class JsonWinHttp客户端经代理 : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!测试::在Wine下运行()) {
      GTEST_SKIP() << "needs Wine: only Wine's WinHTTP takes its default proxy from http_proxy";
    }
    ASSERT_TRUE(服务_.已启动());
  }

  static std::wstring 内容地址(const std::string& 路径) { return 宽("http://" + 内容主机 + 路径); }

  测试服务 服务_{服务选项{false}};
  环境变量替换 代理_{L"http_proxy", 宽(服务_.地址(""))};
  环境变量替换 无例外_{L"no_proxy", std::nullopt};
  平台JsonHttp客户端 客户端_;
};

TEST_F(JsonWinHttp客户端经代理, 五百状态带正文也是一次成功的交换) {
  服务_.设置路由("POST", "/update/v1/results", {应答(500, "{\"error\":\"busy\"}")});
  JsonHttp响应 响应;
  std::wstring 错误 = L"stale";
  ASSERT_TRUE(客户端_.发送(请求(内容地址("/update/v1/results")), &响应, &错误));
  EXPECT_TRUE(错误.empty());
  EXPECT_EQ(响应.statusCode, 500u);
  EXPECT_EQ(响应.body, "{\"error\":\"busy\"}");
  EXPECT_EQ(响应.finalUrl, 内容地址("/update/v1/results"));
}

TEST_F(JsonWinHttp客户端经代理, 方法请求头与正文逐字节到达) {
  服务_.设置路由("POST", "/update/v1/results", {应答(204)});
  auto 投递 = 请求(内容地址("/update/v1/results?attempt=2"));
  投递.headers = {{L"Content-Type", L"application/json"}, {L"Idempotency-Key", L"k-1 two"}};
  for (int 值 = 0; 值 < 256; ++值) 投递.body += static_cast<char>(值);
  JsonHttp响应 响应;
  ASSERT_TRUE(客户端_.发送(投递, &响应, nullptr));
  EXPECT_EQ(响应.statusCode, 204u);
  const auto 已收 = 服务_.已收请求();
  ASSERT_EQ(已收.size(), 1u);
  EXPECT_EQ(已收[0].method, "POST");
  EXPECT_EQ(已收[0].path, "/update/v1/results");
  EXPECT_EQ(已收[0].query, "attempt=2");
  EXPECT_EQ(已收[0].body, 投递.body);
  EXPECT_EQ(已收[0].请求头("Host"), 内容主机);
  EXPECT_EQ(已收[0].请求头("Content-Type"), "application/json");
  EXPECT_EQ(已收[0].请求头("Idempotency-Key"), "k-1 two");
  EXPECT_EQ(已收[0].请求头("User-Agent"), "TallybellUpdater/1.0");
}

TEST_F(JsonWinHttp客户端经代理, 无效请求头不产生任何请求) {
  auto 发出 = 请求(内容地址("/update/v1/results"));
  发出.headers = {{L"X-A", L"a\r\nX-B: injected"}};
  期望失败(发出, JsonHttp消息::请求头包含无效字符);
  EXPECT_TRUE(服务_.已收请求().empty());
}

TEST_F(JsonWinHttp客户端经代理, 正文恰好等于上限被接受多一个字节被拒绝) {
  for (const bool 分块 : {false, true}) {
    SCOPED_TRACE(分块 ? "chunked" : "Content-Length");
    服务应答 千字节;
    千字节.bodySize = 1000;
    千字节.chunked = 分块;
    服务_.设置路由("GET", "/m/r1.json", {千字节});
    auto 获取 = 请求(内容地址("/m/r1.json"), L"GET");
    获取.maxResponseBytes = 1000;
    JsonHttp响应 响应;
    ASSERT_TRUE(客户端_.发送(获取, &响应, nullptr));
    EXPECT_EQ(响应.body, std::string(1000, 'x'));
    获取.maxResponseBytes = 999;
    期望失败(获取, JsonHttp消息::响应超过大小上限);
  }
}

TEST_F(JsonWinHttp客户端经代理, 跳转五次被跟随第六次和不允许的目标被拒绝) {
  for (int 站 = 1; 站 <= 6; ++站) {
    const std::string 下一站 = "/hop/" + std::to_string(站 + 1);
    服务_.设置路由("GET", "/hop/" + std::to_string(站),
                   {跳转应答(站 % 2 == 0 ? 302 : 308, 站 % 3 == 0 ? "http://" + 内容主机 + 下一站 : 下一站)});
  }
  服务_.设置路由("GET", "/hop/7", {应答(200, "arrived")});
  服务_.设置路由("GET", "/elsewhere", {跳转应答(302, 服务_.地址("/landing"))});

  JsonHttp响应 响应;
  ASSERT_TRUE(客户端_.发送(请求(内容地址("/hop/2"), L"GET"), &响应, nullptr));
  EXPECT_EQ(响应.body, "arrived");
  EXPECT_EQ(响应.finalUrl, 内容地址("/hop/7"));
  EXPECT_EQ(服务_.已收请求().size(), 6u);

  期望失败(请求(内容地址("/hop/1"), L"GET"), JsonHttp消息::请求失败);
  EXPECT_EQ(服务_.已收请求().size(), 12u);
  期望失败(请求(内容地址("/elsewhere"), L"GET"), JsonHttp消息::最终地址不在允许地址内);
  const auto 已收 = 服务_.已收请求();
  ASSERT_EQ(已收.size(), 13u);
  EXPECT_EQ(已收.back().path, "/elsewhere");
}

TEST_F(JsonWinHttp客户端经代理, 跳转按状态码决定是否保留方法与正文) {
  服务_.设置路由("POST", "/see-other", {跳转应答(303, "/after-303")});
  服务_.设置路由("POST", "/temporary", {跳转应答(307, "/after-307")});
  服务_.设置路由("*", "/after-303", {应答(200)});
  服务_.设置路由("*", "/after-307", {应答(201)});
  auto 发出 = 请求(内容地址("/see-other"));
  发出.body = "{\"n\":1}";
  JsonHttp响应 响应;
  ASSERT_TRUE(客户端_.发送(发出, &响应, nullptr));
  发出.url = 内容地址("/temporary");
  ASSERT_TRUE(客户端_.发送(发出, &响应, nullptr));
  EXPECT_EQ(响应.statusCode, 201u);
  const auto 已收 = 服务_.已收请求();
  ASSERT_EQ(已收.size(), 4u);
  EXPECT_EQ(已收[1].method, "GET");
  EXPECT_TRUE(已收[1].body.empty());
  EXPECT_EQ(已收[3].method, "POST");
  EXPECT_EQ(已收[3].body, "{\"n\":1}");
}

TEST_F(JsonWinHttp客户端经代理, 超时或没有响应是请求失败) {
  服务应答 迟缓;
  迟缓.delayMs = 20000;
  服务应答 挂断;
  挂断.hangUp = true;
  服务_.设置路由("POST", "/slow", {迟缓});
  服务_.设置路由("POST", "/hang-up", {挂断});
  auto 慢请求 = 请求(内容地址("/slow"));
  慢请求.receiveTimeoutMs = 300;
  期望失败(慢请求, JsonHttp消息::请求失败);
  期望失败(请求(内容地址("/hang-up")), JsonHttp消息::请求失败);
}

}  // namespace
}  // namespace tallybell::platform
