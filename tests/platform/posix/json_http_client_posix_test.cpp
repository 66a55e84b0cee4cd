// The libcurl JSON client against the loopback test service, over HTTPS with the
// service's own CA as the trust store.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/text.h"
#include "platform/json_http_client.h"
#include "support/test_service.h"
#include "transport/json_http_rules.h"

namespace tallybell::platform {
namespace {

using 测试::服务应答;
using 测试::服务选项;
using 测试::测试服务;
using 测试::记录的请求;
using 测试::应答;
using 测试::跳转应答;

// Sets or removes environment variables for one scope and puts the old values back.
class 环境替换 {
 public:
  ~环境替换() {
    for (const auto& [名称, 原值] : 原值_) {
      if (原值) {
        ::setenv(名称.c_str(), 原值->c_str(), 1);
      } else {
        ::unsetenv(名称.c_str());
      }
    }
  }
  void 设置(const std::string& 名称, const std::optional<std::string>& 值) {
    if (原值_.count(名称) == 0) {
      const char* 原值 = std::getenv(名称.c_str());
      原值_[名称] = 原值 != nullptr ? std::optional<std::string>(原值) : std::nullopt;
    }
    if (值) {
      ::setenv(名称.c_str(), 值->c_str(), 1);
    } else {
      ::unsetenv(名称.c_str());
    }
  }

 private:
  std::map<std::string, std::optional<std::string>> 原值_;
};

std::wstring 宽(const std::string& 文本) { return 逐字节加宽(文本); }

class JsonCurl客户端测试 : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(服务_.已启动());
    // A proxy or a second trust store of the machine must not take part.
    for (const char* 名称 : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY", "no_proxy",
                             "NO_PROXY", "SSL_CERT_DIR"}) {
      环境_.设置(名称, std::nullopt);
    }
    环境_.设置("SSL_CERT_FILE", 服务_.CA文件());
  }

  static JsonHttp请求 请求(const std::string& 地址, const wchar_t* 方法 = L"POST") {
    JsonHttp请求 结果;
    结果.method = 方法;
    结果.url = 宽(地址);
    结果.connectTimeoutMs = 10000;
    结果.sendTimeoutMs = 10000;
    结果.receiveTimeoutMs = 10000;
    结果.maxResponseBytes = 1 << 20;
    return 结果;
  }

  // Sends and expects a failure with 消息 that leaves the response untouched.
  void 期望失败(const JsonHttp请求& 请求, const wchar_t* 消息) {
    JsonHttp响应 响应;
    响应.statusCode = 7;
    std::wstring 错误;
    EXPECT_FALSE(客户端_.发送(请求, &响应, &错误));
    EXPECT_EQ(错误, 消息);
    EXPECT_EQ(响应.statusCode, 7u);
    EXPECT_TRUE(响应.body.empty());
  }

  测试服务 服务_;
  环境替换 环境_;
  平台JsonHttp客户端 客户端_;
};

TEST_F(JsonCurl客户端测试, 五百状态带正文也是一次成功的交换) {
  服务_.设置路由("POST", "/update/v1/resolve", {应答(500, "{\"error\":\"busy\"}")});
  JsonHttp响应 响应;
  std::wstring 错误 = L"stale";
  ASSERT_TRUE(客户端_.发送(请求(服务_.地址("/update/v1/resolve")), &响应, &错误));
  EXPECT_TRUE(错误.empty());
  EXPECT_EQ(响应.statusCode, 500u);
  EXPECT_EQ(响应.body, "{\"error\":\"busy\"}");
  EXPECT_EQ(响应.finalUrl, 宽(服务_.地址("/update/v1/resolve")));
  const auto 已收 = 服务_.已收请求();
  ASSERT_EQ(已收.size(), 1u);
  EXPECT_EQ(已收[0].tlsVersion, "TLSv1.2");
}

TEST_F(JsonCurl客户端测试, 方法请求头与正文逐字节到达且不夹带库的默认请求头) {
  服务_.设置路由("POST", "/update/v1/results", {应答(204)});
  服务_.设置路由("GET", "/m/r1.json", {应答(200, "{}")});
  auto 投递 = 请求(服务_.地址("/update/v1/results?attempt=2"));
  投递.headers = {{L"Content-Type", L"application/json"}, {L"Idempotency-Key", L"k-1 two\tthree"},
                  {L"X-Trace", L"a: b"}};
  for (int 值 = 0; 值 < 256; ++值) 投递.body += static_cast<char>(值);
  JsonHttp响应 响应;
  ASSERT_TRUE(客户端_.发送(投递, &响应, nullptr));
  EXPECT_EQ(响应.statusCode, 204u);
  ASSERT_TRUE(客户端_.发送(请求(服务_.地址("/m/r1.json"), L"GET"), &响应, nullptr));

  const auto 已收 = 服务_.已收请求();
  ASSERT_EQ(已收.size(), 2u);
  EXPECT_EQ(已收[0].method, "POST");
  EXPECT_EQ(已收[0].path, "/update/v1/results");
  EXPECT_EQ(已收[0].query, "attempt=2");
  EXPECT_EQ(已收[0].body, 投递.body);
  EXPECT_EQ(已收[0].请求头("Content-Type"), "application/json");
  EXPECT_EQ(已收[0].请求头("Idempotency-Key"), "k-1 two\tthree");
  EXPECT_EQ(已收[0].请求头("X-Trace"), "a: b");
  EXPECT_EQ(已收[0].请求头("Content-Length"), "256");
  EXPECT_EQ(已收[0].请求头("User-Agent"), "TallybellUpdater/1.0");
  EXPECT_FALSE(已收[0].有请求头("Expect"));
  EXPECT_FALSE(已收[0].有请求头("Accept"));
  EXPECT_EQ(已收[1].method, "GET");
  EXPECT_TRUE(已收[1].body.empty());
  EXPECT_FALSE(已收[1].有请求头("Content-Type"));
  EXPECT_FALSE(已收[1].有请求头("Content-Length"));
}

TEST_F(JsonCurl客户端测试, 无效请求头在任何连接之前被拒绝) {
  const std::vector<std::pair<std::wstring, std::wstring>> 无效请求头 = {
      {L"X-A", L"a\nb"}, {L"X-A", L"a\rb"}, {L"X-A", L""}, {L"", L"v"}, {L"X-A\r\nX-B", L"v"}};
  for (const auto& 请求头 : 无效请求头) {
    auto 发出 = 请求(服务_.地址("/update/v1/resolve"));
    发出.headers = {{L"Content-Type", L"application/json"}, 请求头};
    期望失败(发出, JsonHttp消息::请求头包含无效字符);
  }
  EXPECT_TRUE(服务_.已收请求().empty());
}

TEST_F(JsonCurl客户端测试, 正文恰好等于上限被接受多一个字节被拒绝) {
  for (const bool 分块 : {false, true}) {
    SCOPED_TRACE(分块 ? "chunked" : "Content-Length");
    服务应答 应答;
    应答.bodySize = 1000;
    应答.chunked = 分块;
    服务_.设置路由("GET", "/m/r1.json", {应答});
    auto 获取 = 请求(服务_.地址("/m/r1.json"), L"GET");
    获取.maxResponseBytes = 1000;
    JsonHttp响应 响应;
    ASSERT_TRUE(客户端_.发送(获取, &响应, nullptr));
    EXPECT_EQ(响应.body, std::string(1000, 'x'));
    获取.maxResponseBytes = 999;
    期望失败(获取, JsonHttp消息::响应超过大小上限);
  }
  // A body far beyond the cap is cut off while it streams in.
  服务应答 巨大;
  巨大.bodySize = 64u << 20;
  服务_.设置路由("GET", "/m/huge.json", {巨大});
  auto 获取 = 请求(服务_.地址("/m/huge.json"), L"GET");
  获取.maxResponseBytes = 4096;
  期望失败(获取, JsonHttp消息::响应超过大小上限);
}

TEST_F(JsonCurl客户端测试, 跳转到不允许的地址在请求它之前被拒绝) {
  测试服务 明文服务({false});
  ASSERT_TRUE(明文服务.已启动());
  明文服务.设置路由("*", "*", {应答(200, "plain")});
  const std::vector<std::string> 目标 = {明文服务.地址("/landing"), "ftp://localhost/x",
                                         "http://" TALLYBELL_CONTENT_HOST "x/m.json"};
  for (const auto& 位置 : 目标) {
    SCOPED_TRACE(位置);
    服务_.设置路由("GET", "/start", {跳转应答(302, 位置)});
    for (const bool 允许内容主机 : {false, true}) {
      auto 获取 = 请求(服务_.地址("/start"), L"GET");
      获取.allowContentHost = 允许内容主机;
      期望失败(获取, JsonHttp消息::最终地址不在允许地址内);
    }
  }
  EXPECT_TRUE(明文服务.已收请求().empty());
}

TEST_F(JsonCurl客户端测试, 五次跳转被跟随第六次被拒绝) {
  // /hop/1 -> /hop/2 -> ... -> /hop/7, relative and absolute Location values mixed.
  for (int 站 = 1; 站 <= 6; ++站) {
    const std::string 下一站 = "/hop/" + std::to_string(站 + 1);
    服务_.设置路由("GET", "/hop/" + std::to_string(站),
                   {跳转应答(站 % 2 == 0 ? 301 : 307, 站 % 3 == 0 ? 服务_.地址(下一站) : 下一站)});
  }
  服务_.设置路由("GET", "/hop/7", {应答(200, "arrived")});

  JsonHttp响应 响应;
  ASSERT_TRUE(客户端_.发送(请求(服务_.地址("/hop/2"), L"GET"), &响应, nullptr));
  EXPECT_EQ(响应.body, "arrived");
  EXPECT_EQ(响应.finalUrl, 宽(服务_.地址("/hop/7")));
  EXPECT_EQ(服务_.已收请求().size(), 6u);

  期望失败(请求(服务_.地址("/hop/1"), L"GET"), JsonHttp消息::请求失败);
  const auto 已收 = 服务_.已收请求();
  ASSERT_EQ(已收.size(), 12u);
  EXPECT_EQ(已收.back().path, "/hop/6");
}

TEST_F(JsonCurl客户端测试, 跳转按状态码决定是否保留方法与正文) {
  服务_.设置路由("POST", "/see-other", {跳转应答(303, "/after-303")});
  服务_.设置路由("POST", "/temporary", {跳转应答(307, "/after-307")});
  服务_.设置路由("*", "/after-303", {应答(200, "got")});
  服务_.设置路由("*", "/after-307", {应答(201)});

  auto 发出 = 请求(服务_.地址("/see-other"));
  发出.body = "{\"n\":1}";
  JsonHttp响应 响应;
  ASSERT_TRUE(客户端_.发送(发出, &响应, nullptr));
  EXPECT_EQ(响应.statusCode, 200u);
  发出.url = 宽(服务_.地址("/temporary"));
  ASSERT_TRUE(客户端_.发送(发出, &响应, nullptr));
  EXPECT_EQ(响应.statusCode, 201u);

  const auto 已收 = 服务_.已收请求();
  ASSERT_EQ(已收.size(), 4u);
  EXPECT_EQ(已收[1].method, "GET");
  EXPECT_TRUE(已收[1].body.empty());
  EXPECT_EQ(已收[3].method, "POST");
  EXPECT_EQ(已收[3].body, "{\"n\":1}");
}

TEST_F(JsonCurl客户端测试, 只接受TLS13的服务被拒绝) {
  测试服务 新协议服务({true, true});
  ASSERT_TRUE(新协议服务.已启动());
  环境_.设置("SSL_CERT_FILE", 新协议服务.CA文件());
  期望失败(请求(新协议服务.地址("/update/v1/resolve")), JsonHttp消息::请求失败);
  EXPECT_TRUE(新协议服务.已收请求().empty());
}

TEST_F(JsonCurl客户端测试, 信任库来自SSL_CERT_FILE或SSL_CERT_DIR) {
  服务_.设置路由("*", "*", {应答(204)});
  测试服务 另一服务;
  ASSERT_TRUE(另一服务.已启动());
  环境_.设置("SSL_CERT_FILE", 另一服务.CA文件());
  期望失败(请求(服务_.地址("/update/v1/resolve")), JsonHttp消息::请求失败);

  环境_.设置("SSL_CERT_FILE", std::nullopt);
  环境_.设置("SSL_CERT_DIR", 服务_.CA目录());
  JsonHttp响应 响应;
  ASSERT_TRUE(客户端_.发送(请求(服务_.地址("/update/v1/resolve")), &响应, nullptr));
  EXPECT_EQ(响应.statusCode, 204u);
  EXPECT_EQ(服务_.已收请求().size(), 1u);
}

TEST_F(JsonCurl客户端测试, 超时或没有响应是请求失败) {
  服务应答 迟缓;
  迟缓.delayMs = 20000;
  服务应答 挂断;
  挂断.hangUp = true;
  服务_.设置路由("POST", "/slow", {迟缓});
  服务_.设置路由("POST", "/hang-up", {挂断});
  auto 慢请求 = 请求(服务_.地址("/slow"));
  慢请求.receiveTimeoutMs = 300;
  期望失败(慢请求, JsonHttp消息::请求失败);
  期望失败(请求(服务_.地址("/hang-up")), JsonHttp消息::请求失败);
}

TEST_F(JsonCurl客户端测试, 明文HTTP只通往指定内容主机并经由系统代理) {
  测试服务 代理({false});
  ASSERT_TRUE(代理.已启动());
  代理.设置路由("GET", "/manifests/r1.json", {应答(200, "{\"formatVersion\":1}")});
  环境_.设置("http_proxy", 代理.地址(""));
  auto 获取 = 请求("http://" TALLYBELL_CONTENT_HOST "/manifests/r1.json", L"GET");
  获取.allowContentHost = true;
  JsonHttp响应 响应;
  ASSERT_TRUE(客户端_.发送(获取, &响应, nullptr));
  EXPECT_EQ(响应.body, "{\"formatVersion\":1}");
  EXPECT_EQ(响应.finalUrl, 获取.url);

  获取.allowContentHost = false;
  期望失败(获取, JsonHttp消息::地址必须使用HTTPS);
  const auto 已收 = 代理.已收请求();
  ASSERT_EQ(已收.size(), 1u);
  EXPECT_EQ(已收[0].请求头("Host"), TALLYBELL_CONTENT_HOST);
}

}  // namespace
}  // namespace tallybell::platform
