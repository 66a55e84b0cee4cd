// The JSON and download clients over the platform's HTTP library (libcurl, or WinHTTP
// under Wine) against the loopback HTTPS service, connected directly; one case goes through
// the system proxy. Both clients take the same hop, so trust, time-outs, hang-ups and the
// redirect limit are shown once; the download callbacks' refusals, chunked, cut-off and
// overlong bodies and a slow server are met by the fault table of the download task
// (download_faults_test.cpp), the JSON size cap by JsonHttp正文缓冲's own table.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "common/text.h"
#include "download/download_test_support.h"
#include "support/environment_guard.h"
#include "support/test_service.h"
#include "transport/download_client.h"
#include "transport/download_http_rules.h"
#include "transport/json_http_client.h"
#include "transport/json_http_rules.h"

namespace tallybell {
namespace {

using namespace 测试;
using 块表 = std::vector<std::uint64_t>;

constexpr std::uint64_t 对象大小 = 3 * 4096 + 100;

std::wstring 宽(const std::string& 文本) { return 逐字节加宽(文本); }

// What one download produced, as its callbacks saw it.
struct 下载记录 {
  bool 成功 = false;
  std::wstring 消息;
  int 响应头次数 = 0;
  bool 正文先于响应头 = false;
  下载响应 头;
  块表 块;
  std::string 正文;
};

class HTTP客户端测试 : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string 原因 = 网络测试不可运行原因(); !原因.empty()) GTEST_SKIP() << 原因;
    ASSERT_TRUE(服务_.已启动());
    只信任(服务_, &环境_);
  }

  static JsonHttp请求 请求(const std::string& 地址, const wchar_t* 方法 = L"POST") {
    JsonHttp请求 结果;
    结果.method = 方法;
    结果.url = 宽(地址);
    结果.connectTimeoutMs = 结果.sendTimeoutMs = 结果.receiveTimeoutMs = 10000;
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
  }

  下载请求 下载(const std::string& 地址, std::uint64_t 起点 = 0) const {
    下载请求 结果;
    结果.url = 宽(地址);
    结果.rangeStart = 起点;
    结果.connectTimeoutMs = 结果.sendTimeoutMs = 结果.receiveTimeoutMs = 10000;
    return 结果;
  }

  static 下载记录 执行(const 下载请求& 请求, std::size_t 批量字节 = 0) {
    下载记录 记录;
    记录.消息 = L"stale";
    记录.成功 = 下载客户端(批量字节).下载(
        请求,
        [&](const 下载响应& 头, std::wstring*) {
          ++记录.响应头次数;
          记录.头 = 头;
          return true;
        },
        [&](const unsigned char* 数据, std::uint64_t 长度, std::wstring*) {
          记录.正文先于响应头 = 记录.正文先于响应头 || 记录.响应头次数 == 0;
          记录.块.push_back(长度);
          记录.正文.append(reinterpret_cast<const char*>(数据), static_cast<std::size_t>(长度));
          return true;
        },
        &记录.消息);
    return 记录;
  }

  std::string 收到的Range(std::size_t 序号) const { return 服务_.已收请求().at(序号).请求头("Range"); }

  测试服务 服务_;
  环境变量保护 环境_;
  JsonHttp客户端 客户端_;
};

TEST_F(HTTP客户端测试, 方法请求头与正文逐字节到达五百也是一次成功的交换) {
  服务_.设置路由("POST", "/update/v1/results", {应答(500, "{\"error\":\"busy\"}")});
  服务_.设置路由("GET", "/m/r1.json", {应答(200, "{}")});
  auto 投递 = 请求(服务_.地址("/update/v1/results?attempt=2"));
  投递.headers = {{L"Content-Type", L"application/json"}, {L"Idempotency-Key", L"k-1 two\tthree"},
                  {L"X-Trace", L"a: b"}};
  for (int 值 = 0; 值 < 256; ++值) 投递.body += static_cast<char>(值);
  JsonHttp响应 响应;
  std::wstring 错误 = L"stale";
  ASSERT_TRUE(客户端_.发送(投递, &响应, &错误)) << 宽转UTF8宽松(错误);
  EXPECT_TRUE(错误.empty());
  EXPECT_EQ(响应.statusCode, 500u);
  EXPECT_EQ(响应.body, "{\"error\":\"busy\"}");
  EXPECT_EQ(响应.finalUrl, 投递.url);
  ASSERT_TRUE(客户端_.发送(请求(服务_.地址("/m/r1.json"), L"GET"), &响应, nullptr));

  const auto 已收 = 服务_.已收请求();
  ASSERT_EQ(已收.size(), 2u);
  EXPECT_EQ(已收[0].method + " " + 已收[0].target, "POST /update/v1/results?attempt=2");
  EXPECT_EQ(已收[0].body, 投递.body);
  EXPECT_EQ(已收[0].tlsVersion, "TLSv1.2");
  for (const auto& [名称, 值] : std::vector<std::pair<std::string, std::string>>{
           {"Content-Type", "application/json"}, {"Idempotency-Key", "k-1 two\tthree"}, {"X-Trace", "a: b"},
           {"Content-Length", "256"}, {"User-Agent", "TallybellUpdater/1.0"}}) {
    EXPECT_EQ(已收[0].请求头(名称), 值) << 名称;
  }
  EXPECT_FALSE(已收[0].有请求头("Expect") || 已收[0].有请求头("Accept"));
  EXPECT_EQ(已收[1].method, "GET");
  EXPECT_TRUE(已收[1].body.empty());
  EXPECT_FALSE(已收[1].有请求头("Content-Type"));
}

TEST_F(HTTP客户端测试, 五次跳转被跟随第六次与不允许的目标被拒绝且从不请求) {
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
  期望失败(请求(服务_.地址("/hop/1"), L"GET"), JsonHttp消息::请求失败);
  EXPECT_EQ(服务_.已收请求().size(), 6u + 6u);

  测试服务 明文服务(明文选项());
  ASSERT_TRUE(明文服务.已启动());
  // The last: HTTPS must not step down to plain HTTP, not even to the content host.
  for (const std::string& 位置 : {明文服务.地址("/landing"), std::string("ftp://localhost/x"),
                                 std::string("http://" TALLYBELL_CONTENT_HOST "x/m.json"),
                                 std::string("http://" TALLYBELL_CONTENT_HOST "/m.json")}) {
    SCOPED_TRACE(位置);
    服务_.设置路由("GET", "/start", {跳转应答(302, 位置)});
    auto 获取 = 请求(服务_.地址("/start"), L"GET");
    获取.allowContentHost = true;
    期望失败(获取, JsonHttp消息::最终地址不在允许地址内);
  }
  EXPECT_TRUE(明文服务.已收请求().empty());
}

TEST_F(HTTP客户端测试, 跳转按状态码决定是否保留方法与正文) {
  // 303 turns the POST into a GET without a body; 307 and 308 repeat it as it was.
  const struct {
    std::uint32_t 状态码;
    const char* 方法;
    const char* 正文;
  } 用例表[] = {{303, "GET", ""}, {307, "POST", "{\"n\":1}"}, {308, "POST", "{\"n\":1}"}};
  for (const auto& 项 : 用例表) {
    SCOPED_TRACE(项.状态码);
    服务_.设置路由("POST", "/moved", {跳转应答(项.状态码, "/after")});
    服务_.设置路由("*", "/after", {应答(201)});
    const std::size_t 此前 = 服务_.已收请求().size();
    auto 发出 = 请求(服务_.地址("/moved"));
    发出.body = "{\"n\":1}";
    JsonHttp响应 响应;
    std::wstring 错误;
    ASSERT_TRUE(客户端_.发送(发出, &响应, &错误)) << 宽转UTF8宽松(错误);
    EXPECT_EQ(响应.statusCode, 201u);
    const auto 已收 = 服务_.已收请求();
    ASSERT_EQ(已收.size(), 此前 + 2);
    EXPECT_EQ(已收.back().method, 项.方法);
    EXPECT_EQ(已收.back().body, 项.正文);
  }
}

// A service whose certificate the run does not trust, made for another name, or speaking
// only TLS 1.3 gets no request from either client: the name is checked, not only the CA.
TEST_F(HTTP客户端测试, 不受信任的CA主机名不符只有TLS13停滞与挂断都是请求失败) {
  服务选项 独立CA;
  独立CA.独立CA = true;
  服务选项 名称不符;
  名称不符.证书名称 = "other.invalid";
  服务选项 仅TLS13;
  仅TLS13.仅TLS13 = true;
  for (const auto& 选项 : {独立CA, 名称不符, 仅TLS13}) {
    测试服务 服务(选项);
    ASSERT_TRUE(服务.已启动());
    if (!选项.独立CA) 只信任(服务, &环境_);  // its own CA is trusted: the name or version fails
    服务.设置路由("*", "*", {应答(204)});
    期望失败(请求(服务.地址("/update/v1/resolve")), JsonHttp消息::请求失败);
    EXPECT_EQ(执行(下载(服务.地址("/o"))).响应头次数, 0);
    EXPECT_TRUE(服务.已收请求().empty());
  }
  只信任(服务_, &环境_);
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
#ifndef _WIN32
  // libcurl's trust store comes from SSL_CERT_DIR as well as SSL_CERT_FILE.
  环境_.设置("SSL_CERT_FILE", std::nullopt);
  环境_.设置("SSL_CERT_DIR", 服务_.CA目录());
  服务_.设置路由("*", "*", {应答(204)});
  JsonHttp响应 响应;
  EXPECT_TRUE(客户端_.发送(请求(服务_.地址("/update/v1/resolve")), &响应, nullptr));
  EXPECT_EQ(响应.statusCode, 204u);
#endif
}

TEST_F(HTTP客户端测试, 明文HTTP只通往指定内容主机并经由系统代理) {
  测试服务 代理(明文选项());
  ASSERT_TRUE(代理.已启动());
  代理.设置路由("GET", "/manifests/r1.json", {应答(200, "{\"formatVersion\":1}")});
  环境_.设置("http_proxy", 代理.地址(""));
  auto 获取 = 请求("http://" TALLYBELL_CONTENT_HOST "/manifests/r1.json", L"GET");
  获取.allowContentHost = true;
  JsonHttp响应 响应;
  ASSERT_TRUE(客户端_.发送(获取, &响应, nullptr));
  EXPECT_EQ(响应.body, "{\"formatVersion\":1}");
  EXPECT_EQ(响应.finalUrl, 获取.url);
  const auto 已收 = 代理.已收请求();
  ASSERT_EQ(已收.size(), 1u);
  EXPECT_EQ(已收[0].请求头("Host"), TALLYBELL_CONTENT_HOST);
}

// A resumed download (Range, 206, Content-Range) is the second run of every row of the
// fault table.
TEST_F(HTTP客户端测试, 下载先交响应头再按批量交正文且不发Range) {
  服务_.设置路由("GET", "/o", {对象应答(对象大小)});
  const 下载记录 记录 = 执行(下载(服务_.地址("/o")), 4096);
  ASSERT_TRUE(记录.成功) << testing::PrintToString(记录.消息);
  EXPECT_TRUE(记录.消息.empty());
  EXPECT_EQ(记录.响应头次数, 1);
  EXPECT_FALSE(记录.正文先于响应头);
  EXPECT_EQ(记录.头.statusCode, 200u);
  EXPECT_EQ(记录.头.finalUrl, 下载(服务_.地址("/o")).url);
  EXPECT_TRUE(记录.头.hasContentLength && 记录.头.acceptsByteRanges && !记录.头.hasContentRange);
  EXPECT_EQ(记录.头.contentLength, 对象大小);
  EXPECT_EQ(记录.块, (块表{4096, 4096, 4096, 100}));
  EXPECT_EQ(记录.正文, 偏移图案(对象大小));
  const auto 收到 = 服务_.已收请求();
  ASSERT_EQ(收到.size(), 1u);
  EXPECT_FALSE(收到[0].有请求头("Range"));
  EXPECT_EQ(收到[0].请求头("User-Agent"), "TallybellUpdater/1.0");
  EXPECT_EQ(收到[0].tlsVersion, "TLSv1.2");
}

// Header values are judged as the server sent them, and a bad one fails before the head.
TEST_F(HTTP客户端测试, 下载响应头按原始值判断无效值在交出响应头之前失败) {
  for (const auto& [名称, 值, 消息] : std::vector<std::tuple<std::string, std::string, const wchar_t*>>{
           {"Accept-Ranges", "Bytes", nullptr},
           {"Content-Length", "+12388", nullptr},
           {"Content-Length", "12x", 下载HTTP消息::ContentLength无效}}) {
    SCOPED_TRACE(名称 + ": " + 值);
    服务应答 应答 = 对象应答(对象大小);
    应答.headers = {{名称, 值}};
    服务_.设置路由("GET", "/o", {应答});
    const 下载记录 记录 = 执行(下载(服务_.地址("/o")));
    EXPECT_EQ(记录.成功, 消息 == nullptr);
    EXPECT_EQ(记录.成功 ? 记录.头.acceptsByteRanges : 记录.响应头次数 == 0, true);
    EXPECT_EQ(记录.消息, 消息 == nullptr ? L"" : 消息);
  }
}

TEST_F(HTTP客户端测试, 下载每一跳都带Range而非ASCII字符按UTF8百分号编码发出) {
  服务_.设置路由("GET", "/a", {跳转应答(302, "b")});
  服务_.设置路由("GET", "/b", {跳转应答(307, 服务_.地址("/o"))});
  服务_.设置路由("GET", "/o", {对象应答(对象大小)});
  下载记录 记录 = 执行(下载(服务_.地址("/a"), 100));
  ASSERT_TRUE(记录.成功) << testing::PrintToString(记录.消息);
  EXPECT_EQ(记录.响应头次数, 1);
  EXPECT_EQ(记录.头.finalUrl, 下载(服务_.地址("/o")).url);
  EXPECT_EQ(记录.正文, 偏移图案(对象大小).substr(100));
  for (std::size_t 序号 = 0; 序号 < 3; ++序号) EXPECT_EQ(收到的Range(序号), "bytes=100-");

  服务_.设置路由("GET", "*", {对象应答(100)});
  下载请求 发出 = 下载("");
  发出.url = UTF8转宽宽松(服务_.地址("/objects/R\xc3\xa9sum\xc3\xa9-1.bin?v=\xe4\xb8\xad#frag"));
  记录 = 执行(发出);
  ASSERT_TRUE(记录.成功) << testing::PrintToString(记录.消息);
  EXPECT_EQ(记录.头.finalUrl, 发出.url);
  EXPECT_EQ(服务_.已收请求().back().target, "/objects/R%C3%A9sum%C3%A9-1.bin?v=%E4%B8%AD");
}

}  // namespace
}  // namespace tallybell
