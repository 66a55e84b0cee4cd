// The JSON and download clients over the platform's HTTP library (libcurl, or WinHTTP
// under Wine) against the loopback HTTPS service, connected directly; one case goes through
// the system proxy. Both clients take the same hop, so trust, time-outs, hang-ups and the
// redirect limit are shown once; the download callbacks' refusals, chunked, cut-off and
// overlong bodies and a slow server are met by the fault table of the download task at the
// end, the JSON size cap by JsonHttp正文缓冲's own table.
//
// The fault table: server faults met by the real download client and the download task,
// what each leaves behind (lastError, .part, checkpoint), and that the next run resumes
// from there and ends with a verified object. The task's own checks of sizes, ranges,
// statuses and hashes are tabled with the scripted transport (tests/download); here are
// the faults the platform's HTTP library meets.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/text.h"
#include "download/download_test_support.h"
#include "support/environment_guard.h"
#include "support/test_service.h"
#include "transport/download_client.h"
#include "transport/download_http_rules.h"
#include "transport/json_http_client.h"
#include "transport/json_http_rules.h"
#include "transport/json_http_transport.h"

namespace tallybell {
namespace {

namespace fs = std::filesystem;
using namespace 测试;

constexpr std::uint64_t 对象大小 = 3 * 4096 + 200;
constexpr std::uint64_t 故障对象大小 = 100000;
constexpr std::uint64_t 已有 = 4000;  // bytes an earlier, interrupted run left in .part

// What one download produced, as its callbacks saw it.
struct 下载记录 {
  bool 成功 = false;
  std::wstring 消息 = L"stale";
  int 响应头次数 = 0;
  bool 正文先于响应头 = false;
  下载响应 头;
  std::vector<std::uint64_t> 块;
  std::string 正文;
};

// The download task's setting (for the fault table) around the loopback service.
class HTTP客户端测试 : public 下载任务测试 {
 protected:
  void SetUp() override {
    对象_ = 偏移图案(故障对象大小);
    下载任务测试::SetUp();
    if (const std::string 原因 = 网络测试不可运行原因(); !原因.empty()) GTEST_SKIP() << 原因;
    ASSERT_TRUE(服务_.已启动());
    只信任(服务_, &环境_);
    配置_.downloadUrls = {逐字节加宽(服务_.地址("/objects/" + 配置_.sha256))};
  }

  static JsonHttp请求 请求(const std::string& 地址, const wchar_t* 方法 = L"POST") {
    return 服务交换请求(方法, 逐字节加宽(地址), false);
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

  static 下载请求 下载(const std::string& 地址, std::uint64_t 起点 = 0) { return {逐字节加宽(地址), 起点, 10000, 10000, 10000}; }

  static 下载记录 执行(const 下载请求& 请求, std::size_t 批量字节 = 0) {
    下载记录 记录;
    记录.成功 = 下载客户端(批量字节).下载(
        请求,
        [&](const 下载响应& 头, std::wstring*) { return ++记录.响应头次数, 记录.头 = 头, true; },
        [&](const unsigned char* 数据, std::uint64_t 长度, std::wstring*) {
          记录.正文先于响应头 = 记录.正文先于响应头 || 记录.响应头次数 == 0;
          记录.块.push_back(长度);
          记录.正文.append(reinterpret_cast<const char*>(数据), static_cast<std::size_t>(长度));
          return true;
        },
        &记录.消息);
    return 记录;
  }

  测试服务 服务_;
  环境变量保护 环境_;
  JsonHttp客户端 客户端_;
  下载客户端 真实客户端_;
};
using 真实下载故障测试 = HTTP客户端测试;

struct 服务故障 {
  const char* 名称;
  std::function<void(服务应答&)> 改动;  // of the right answer
  const char* 最近错误;
  // What .part holds afterwards, at least and at most (WinHTTP may drop what it held when a
  // read failed).
  std::uint64_t 至少, 至多;
  const wchar_t* 任务消息 = L"所有下载线路均失败，断点已保留。";
  std::uint32_t 时限毫秒 = 30000;
};

const char* const 读取失败 = "读取 WinHTTP 响应正文失败。";
const 服务故障 故障表[] = {
    {"body cut off, then the connection resets", [](auto& 答) { 答.resetAfter = 20000; }, 读取失败, 0, 已有 + 20000},
    {"200 to a range request, then cut off", [](auto& 答) { 答.ignoreRange = true, 答.resetAfter = 30000; }, 读取失败,
     0, 30000},
    {"206 with a * total", [](auto& 答) { 答.headers = {{"Content-Range", "bytes 4000-99999/*"}}; },
     "Content-Range 响应头无效。", 已有, 已有},
    {"body longer than the object", [](auto& 答) { 答.chunked = true, 答.extraBytes = 100; },
     "下载正文超过声明大小。", 已有, 已有},
    {"redirect to a refused address", [](auto& 答) { 答 = 跳转应答(302, "http://127.0.0.1/o"); },
     "下载最终地址不在允许地址内。", 已有, 已有},
    {"a server trickling bytes until the time limit", [](auto& 答) { 答.trickleBytes = 2000, 答.trickleMs = 250; },
     "下载任务超过总时限。", 已有 + 1, 故障对象大小 - 1, L"下载任务超过总时限。", 3000},
};

// A 307 repeats the POST as it was, byte for byte with its headers; a 303 turns it into a
// GET without a body. A 500 is still an exchange that worked.
TEST_F(HTTP客户端测试, 方法请求头与正文逐字节到达且跳转按状态码保留或改为GET) {
  服务_.设置路由("POST", "/update/v1/results", {跳转应答(307, "/after?attempt=2")});
  服务_.设置路由("POST", "/see-other", {跳转应答(303, "/after")});
  服务_.设置路由("*", "/after", {应答(500, "{\"error\":\"busy\"}")});
  auto 投递 = 请求(服务_.地址("/update/v1/results"));
  投递.headers = {{L"Content-Type", L"application/json"}, {L"Idempotency-Key", L"k-1 two\tthree"},
                  {L"X-Trace", L"a: b"}};
  for (int 值 = 0; 值 < 256; ++值) 投递.body += static_cast<char>(值);
  JsonHttp响应 响应;
  std::wstring 错误 = L"stale";
  ASSERT_TRUE(客户端_.发送(投递, &响应, &错误)) << 宽转UTF8宽松(错误);
  EXPECT_TRUE(错误.empty());
  EXPECT_EQ(std::to_string(响应.statusCode) + " " + 响应.body, "500 {\"error\":\"busy\"}");
  EXPECT_EQ(响应.finalUrl, 逐字节加宽(服务_.地址("/after?attempt=2")));
  投递.url = 逐字节加宽(服务_.地址("/see-other"));
  ASSERT_TRUE(客户端_.发送(投递, &响应, nullptr));

  const auto 已收 = 服务_.已收请求();
  ASSERT_EQ(已收.size(), 4u);
  EXPECT_EQ(已收[1].method + " " + 已收[1].target, "POST /after?attempt=2");
  for (const auto& 项 : {已收[0], 已收[1]}) {
    EXPECT_EQ(项.body, 投递.body);
    EXPECT_EQ(项.tlsVersion, "TLSv1.2");
    for (const auto& [名称, 值] : std::vector<std::pair<std::string, std::string>>{
             {"Content-Type", "application/json"}, {"Idempotency-Key", "k-1 two\tthree"}, {"X-Trace", "a: b"},
             {"Content-Length", "256"}, {"User-Agent", "TallybellUpdater/1.0"}}) {
      EXPECT_EQ(项.请求头(名称), 值) << 名称;
    }
    EXPECT_FALSE(项.有请求头("Expect") || 项.有请求头("Accept"));
  }
  EXPECT_EQ(已收[3].method + " " + 已收[3].target, "GET /after");
  EXPECT_TRUE(已收[3].body.empty());
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
  EXPECT_EQ(宽转UTF8宽松(响应.finalUrl) + " " + 响应.body, 服务_.地址("/hop/7") + " arrived");
  期望失败(请求(服务_.地址("/hop/1"), L"GET"), JsonHttp消息::请求失败);
  EXPECT_EQ(服务_.已收请求().size(), 6u + 6u);

  测试服务 明文服务(明文选项());
  ASSERT_TRUE(明文服务.已启动());
  // HTTPS must not step down to plain HTTP, not even to the content host (the address
  // rules themselves are tabled in tests/transport).
  for (const std::string& 位置 : {明文服务.地址("/landing"), std::string("http://" TALLYBELL_CONTENT_HOST "/m.json")}) {
    SCOPED_TRACE(位置);
    服务_.设置路由("GET", "/start", {跳转应答(302, 位置)});
    auto 获取 = 请求(服务_.地址("/start"), L"GET");
    获取.allowContentHost = true;
    期望失败(获取, JsonHttp消息::最终地址不在允许地址内);
  }
  EXPECT_TRUE(明文服务.已收请求().empty());

  // Plain HTTP goes to the content host only, and through the system proxy.
  明文服务.设置路由("GET", "/manifests/r1.json", {应答(200, "{\"formatVersion\":1}")});
  环境_.设置("http_proxy", 明文服务.地址(""));
  auto 获取 = 请求("http://" TALLYBELL_CONTENT_HOST "/manifests/r1.json", L"GET");
  获取.allowContentHost = true;
  ASSERT_TRUE(客户端_.发送(获取, &响应, nullptr));
  EXPECT_TRUE(响应.body == "{\"formatVersion\":1}" && 响应.finalUrl == 获取.url) << 响应.body;
  ASSERT_EQ(明文服务.已收请求().size(), 1u);
  EXPECT_EQ(明文服务.已收请求()[0].请求头("Host"), TALLYBELL_CONTENT_HOST);
}

// A service whose certificate the run does not trust, made for another name, or speaking
// only TLS 1.3 gets no request from either client: the name is checked, not only the CA.
// An answer that stalls past the receive time-out or a hang-up fails alike.
TEST_F(HTTP客户端测试, 不受信任的CA主机名不符只有TLS13停滞与挂断都是请求失败) {
  服务选项 独立CA, 名称不符, 仅TLS13, 本CA;
  独立CA.独立CA = true;
  名称不符.证书名称 = "other.invalid";
  仅TLS13.仅TLS13 = true;
  服务应答 迟缓 = 应答(200), 挂断;
  迟缓.delayMs = 20000;
  挂断.hangUp = true;
  const std::pair<服务选项, 服务应答> 用例[] = {
      {独立CA, 应答(204)}, {名称不符, 应答(204)}, {仅TLS13, 应答(204)}, {本CA, 迟缓}, {本CA, 挂断}};
  for (const auto& [选项, 答] : 用例) {
    测试服务 服务(选项);
    ASSERT_TRUE(服务.已启动());
    if (!选项.独立CA) 只信任(服务, &环境_);  // its own CA is trusted: the name or version fails
    服务.设置路由("*", "*", {答});
    auto 发出 = 请求(服务.地址("/update/v1/resolve"));
    下载请求 获取 = 下载(服务.地址("/o"));
    发出.receiveTimeoutMs = 获取.receiveTimeoutMs = 1000;
    期望失败(发出, JsonHttp消息::请求失败);
    const 下载记录 记录 = 执行(获取);
    EXPECT_TRUE(记录.响应头次数 == 0 && 记录.消息 == 下载HTTP消息::请求失败);
    EXPECT_EQ(服务.已收请求().size(), 答.status == 204 ? 0u : 2u);  // none for the refused services
  }
  只信任(服务_, &环境_);
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

// The head comes once before the body, which arrives in whole batches; every hop asks for
// the same range. (A resumed download is also the second run of every row of the fault
// table.) Header values are judged as the server sent them, and a bad one fails before
// the head is handed over.
TEST_F(HTTP客户端测试, 下载每一跳都带Range而非ASCII字符按UTF8百分号编码发出) {
  服务_.设置路由("GET", "/a", {跳转应答(302, "b")});
  服务_.设置路由("GET", "/b", {跳转应答(307, 服务_.地址("/o"))});
  服务应答 对象 = 对象应答(对象大小);
  对象.headers = {{"Accept-Ranges", "Bytes"}};
  服务_.设置路由("GET", "/o", {对象});
  下载记录 记录 = 执行(下载(服务_.地址("/a"), 100), 4096);
  ASSERT_TRUE(记录.成功) << testing::PrintToString(记录.消息);
  EXPECT_TRUE(记录.消息.empty() && 记录.响应头次数 == 1 && !记录.正文先于响应头);
  EXPECT_EQ(记录.头.finalUrl, 下载(服务_.地址("/o")).url);
  EXPECT_TRUE(记录.头.statusCode == 206 && 记录.头.hasContentLength && 记录.头.acceptsByteRanges && 记录.头.hasContentRange);
  EXPECT_EQ(记录.头.contentLength, 对象大小 - 100);
  EXPECT_EQ(记录.块, (std::vector<std::uint64_t>{4096, 4096, 4096, 100}));
  EXPECT_EQ(记录.正文, 偏移图案(对象大小).substr(100));
  for (const auto& 项 : 服务_.已收请求()) {
    EXPECT_EQ(项.请求头("Range") + " " + 项.请求头("User-Agent"), "bytes=100- TallybellUpdater/1.0");
    EXPECT_EQ(项.tlsVersion, "TLSv1.2");
  }

  对象 = 对象应答(100);
  对象.headers = {{"Content-Length", "+100"}};
  服务_.设置路由("GET", "*", {对象});
  下载请求 发出 = 下载("");
  发出.url = UTF8转宽宽松(服务_.地址("/objects/R\xc3\xa9sum\xc3\xa9-1.bin?v=\xe4\xb8\xad#frag"));
  记录 = 执行(发出);
  ASSERT_TRUE(记录.成功) << testing::PrintToString(记录.消息);
  EXPECT_EQ(记录.头.finalUrl, 发出.url);
  EXPECT_EQ(服务_.已收请求().back().target, "/objects/R%C3%A9sum%C3%A9-1.bin?v=%E4%B8%AD");
  EXPECT_FALSE(服务_.已收请求().back().有请求头("Range"));
  对象.headers = {{"Content-Length", "12x"}};
  服务_.设置路由("GET", "*", {对象});
  记录 = 执行(发出);
  EXPECT_EQ(记录.消息, 下载HTTP消息::ContentLength无效);
  EXPECT_EQ(记录.响应头次数, 0);
}

TEST_F(真实下载故障测试, 每种服务端故障留下正确的断点下一次续传完成) {
  for (const auto& 故障 : 故障表) {
    SCOPED_TRACE(故障.名称);
    fs::remove_all(缓存());
    写部分(已有);
    写断点(已有, 1, 0, "earlier");
    服务应答 应答 = 对象应答(故障对象大小);
    故障.改动(应答);
    服务_.设置路由("GET", "*", {应答});
    const std::size_t 此前请求 = 服务_.已收请求().size();
    配置_.totalTimeoutMs = 故障.时限毫秒;

    const 运行结果 第一次 = 运行(真实客户端_);
    EXPECT_TRUE(!第一次.成功 && 第一次.消息 == 故障.任务消息) << 宽转UTF8宽松(第一次.消息);
    ASSERT_EQ(服务_.已收请求().size(), 此前请求 + 1);
    EXPECT_EQ(服务_.已收请求().at(此前请求).请求头("Range"), "bytes=4000-");
    EXPECT_FALSE(fs::exists(文件(".object")));
    const 断点视图 断点 = 读断点();
    ASSERT_TRUE(断点.存在);
    EXPECT_EQ(断点.lastError, 故障.最近错误);
    EXPECT_EQ(断点.retryCount, 2u);
    EXPECT_GE(断点.downloaded, 故障.至少);
    EXPECT_LE(断点.downloaded, 故障.至多);
    EXPECT_EQ(部分(), 对象_.substr(0, static_cast<std::size_t>(断点.downloaded)));
    续传完成(断点.downloaded);  // the next run resumes from what is left
  }
}

}  // namespace
}  // namespace tallybell
