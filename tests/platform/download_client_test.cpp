// The download client over the platform's HTTP library (libcurl, or WinHTTP under Wine)
// against the loopback HTTPS service, connected directly.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/text.h"
#include "download/scripted_transport.h"
#include "support/environment_guard.h"
#include "support/test_service.h"
#include "transport/download_client.h"
#include "transport/download_http_rules.h"

namespace tallybell {
namespace {

using namespace 测试;

constexpr std::uint64_t 对象大小 = 3 * 4096 + 100;

// What one call produced, as its callbacks saw it.
struct 下载记录 {
  bool 成功 = false;
  std::wstring 消息;
  int 响应头次数 = 0;
  bool 正文先于响应头 = false;
  下载响应 头;
  std::vector<std::uint64_t> 块;
  std::string 正文;
};

class 下载客户端测试 : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string 原因 = 网络测试不可运行原因(); !原因.empty()) GTEST_SKIP() << 原因;
    ASSERT_TRUE(服务_.已启动());
    只信任(服务_, &环境_);
  }

  下载请求 请求(const std::string& 路径, std::uint64_t 起点 = 0) const {
    下载请求 结果;
    结果.url = 逐字节加宽(服务_.地址(路径));
    结果.rangeStart = 起点;
    结果.connectTimeoutMs = 10000;
    结果.sendTimeoutMs = 10000;
    结果.receiveTimeoutMs = 10000;
    return 结果;
  }

  下载记录 执行(const 下载请求& 请求, std::size_t 批量字节 = 0) const {
    下载记录 记录;
    记录.消息 = L"stale";
    下载客户端 客户端(批量字节);
    记录.成功 = 客户端.下载(
        请求,
        [&](const 下载响应& 头, std::wstring* 错误) {
          ++记录.响应头次数;
          记录.头 = 头;
          if (拒绝响应头_) *错误 = L"head refused";
          return !拒绝响应头_;
        },
        [&](const unsigned char* 数据, std::uint64_t 长度, std::wstring* 错误) {
          记录.正文先于响应头 = 记录.正文先于响应头 || 记录.响应头次数 == 0;
          记录.块.push_back(长度);
          记录.正文.append(reinterpret_cast<const char*>(数据), static_cast<std::size_t>(长度));
          if (拒绝正文_) *错误 = L"chunk refused";
          return !拒绝正文_;
        },
        &记录.消息);
    return 记录;
  }

  std::string 收到的Range(std::size_t 序号) const { return 服务_.已收请求().at(序号).请求头("Range"); }

  测试服务 服务_;
  环境变量保护 环境_;
  bool 拒绝响应头_ = false;
  bool 拒绝正文_ = false;
};

TEST_F(下载客户端测试, 整个对象先交响应头再按批量交正文且不发Range) {
  服务_.设置路由("GET", "/o", {对象应答(对象大小)});
  const 下载记录 记录 = 执行(请求("/o"), 4096);
  ASSERT_TRUE(记录.成功) << testing::PrintToString(记录.消息);
  EXPECT_TRUE(记录.消息.empty());
  EXPECT_EQ(记录.响应头次数, 1);
  EXPECT_FALSE(记录.正文先于响应头);
  EXPECT_EQ(记录.头.statusCode, 200u);
  EXPECT_EQ(记录.头.finalUrl, 请求("/o").url);
  EXPECT_EQ(记录.头.contentLength, 对象大小);
  EXPECT_TRUE(记录.头.hasContentLength && 记录.头.acceptsByteRanges && !记录.头.hasContentRange);
  EXPECT_EQ(记录.块, (std::vector<std::uint64_t>{4096, 4096, 4096, 100}));
  EXPECT_EQ(记录.正文, 偏移图案(对象大小));
  const auto 收到 = 服务_.已收请求();
  ASSERT_EQ(收到.size(), 1u);
  EXPECT_FALSE(收到[0].有请求头("Range"));
  EXPECT_EQ(收到[0].请求头("User-Agent"), "TallybellUpdater/1.0");
  EXPECT_EQ(收到[0].tlsVersion, "TLSv1.2");
}

TEST_F(下载客户端测试, 从偏移续传发Range读入ContentRange且剩余部分是一批) {
  服务_.设置路由("GET", "/o", {对象应答(对象大小)});
  const 下载记录 记录 = 执行(请求("/o", 1000));
  ASSERT_TRUE(记录.成功) << testing::PrintToString(记录.消息);
  EXPECT_EQ(收到的Range(0), "bytes=1000-");
  EXPECT_EQ(记录.头.statusCode, 206u);
  EXPECT_TRUE(记录.头.hasContentRange);
  EXPECT_EQ(记录.头.rangeStart, 1000u);
  EXPECT_EQ(记录.头.rangeTotal, 对象大小);
  EXPECT_EQ(记录.块, (std::vector<std::uint64_t>{对象大小 - 1000}));
  EXPECT_EQ(记录.正文, 偏移图案(对象大小).substr(1000));
}

TEST_F(下载客户端测试, 响应头按原始值判断无效值在交出响应头之前失败) {
  struct 用例 {
    std::string 名称;
    std::string 值;
    const wchar_t* 消息;  // nullptr: accepted
    bool 接受字节范围;
  };
  const std::vector<用例> 用例表 = {
      {"Accept-Ranges", "Bytes", nullptr, true},
      {"Accept-Ranges", "bytes, none", nullptr, false},
      {"Content-Range", "bytes 0-99/*", 下载HTTP消息::ContentRange无效, false},
      {"Content-Length", "+12388", nullptr, true},
      {"Content-Length", "12x", 下载HTTP消息::ContentLength无效, false},
  };
  for (const auto& 项 : 用例表) {
    SCOPED_TRACE(项.名称 + ": " + 项.值);
    服务应答 应答 = 对象应答(对象大小);
    应答.headers = {{项.名称, 项.值}};
    服务_.设置路由("GET", "/o", {应答});
    const 下载记录 记录 = 执行(请求("/o"));
    EXPECT_EQ(记录.成功, 项.消息 == nullptr);
    if (项.消息 == nullptr) {
      EXPECT_EQ(记录.头.acceptsByteRanges, 项.接受字节范围);
      EXPECT_EQ(记录.正文, 偏移图案(对象大小));
    } else {
      EXPECT_EQ(记录.消息, 项.消息);
      EXPECT_EQ(记录.响应头次数, 0);
    }
  }
  服务_.设置路由("GET", "/missing", {应答(404, "not here")});
  const 下载记录 记录 = 执行(请求("/missing", 10));
  ASSERT_TRUE(记录.成功) << testing::PrintToString(记录.消息);
  EXPECT_EQ(记录.头.statusCode, 404u);
  EXPECT_EQ(记录.正文, "not here");
}

TEST_F(下载客户端测试, 每一跳都带Range至多跟随五次不允许的目标从不请求) {
  服务_.设置路由("GET", "/a", {跳转应答(302, "b")});
  服务_.设置路由("GET", "/b", {跳转应答(307, 服务_.地址("/o"))});
  服务_.设置路由("GET", "/o", {对象应答(对象大小)});
  下载记录 记录 = 执行(请求("/a", 100));
  ASSERT_TRUE(记录.成功) << testing::PrintToString(记录.消息);
  EXPECT_EQ(记录.响应头次数, 1);
  EXPECT_EQ(记录.头.finalUrl, 请求("/o").url);
  EXPECT_EQ(记录.正文, 偏移图案(对象大小).substr(100));
  for (std::size_t 序号 = 0; 序号 < 3; ++序号) EXPECT_EQ(收到的Range(序号), "bytes=100-");

  服务_.设置路由("GET", "/loop", {跳转应答(302, "/loop")});
  记录 = 执行(请求("/loop"));
  EXPECT_EQ(记录.消息, 下载HTTP消息::请求失败);
  EXPECT_EQ(服务_.已收请求().size(), 3u + 6u);
  // The last: HTTPS must not step down to plain HTTP, not even to the content host.
  for (const std::string& 位置 : {"http://127.0.0.1:" + std::to_string(服务_.端口()) + "/o",
                                 std::string("http://" TALLYBELL_CONTENT_HOST "/o")}) {
    服务_.设置路由("GET", "/away", {跳转应答(302, 位置)});
    记录 = 执行(请求("/away"));
    EXPECT_EQ(记录.消息, 下载HTTP消息::最终地址不在允许地址内) << 位置;
    EXPECT_EQ(记录.响应头次数, 0);
  }
  EXPECT_EQ(服务_.已收请求().size(), 3u + 6u + 2u);
}

TEST_F(下载客户端测试, 回调拒绝即停止且保留回调的消息) {
  服务_.设置路由("GET", "/o", {对象应答(对象大小)});
  拒绝响应头_ = true;
  下载记录 记录 = 执行(请求("/o"));
  EXPECT_EQ(记录.消息, L"head refused");
  EXPECT_TRUE(记录.块.empty());
  拒绝响应头_ = false;
  拒绝正文_ = true;
  记录 = 执行(请求("/o"), 4096);
  EXPECT_FALSE(记录.成功);
  EXPECT_EQ(记录.消息, L"chunk refused");
  EXPECT_EQ(记录.块, (std::vector<std::uint64_t>{4096}));
}

// That bytes of a slow server do not wait for the end is shown by the fault table's
// trickle at the task's time limit (download_faults_test.cpp).
TEST_F(下载客户端测试, 中途断开时已收字节交出再报读取失败) {
  服务应答 断开 = 对象应答(对象大小);
  断开.resetAfter = 5000;
  服务_.设置路由("GET", "/cut", {断开});
  const 下载记录 记录 = 执行(请求("/cut"));
  EXPECT_FALSE(记录.成功);
  EXPECT_EQ(记录.消息, 下载HTTP消息::读取正文失败);
  EXPECT_EQ(记录.响应头次数, 1);
  // libcurl hands over all 5000 bytes; WinHTTP may drop what it held when the read failed.
  EXPECT_LE(记录.正文.size(), 5000u);
  EXPECT_EQ(记录.正文, 偏移图案(5000).substr(0, 记录.正文.size()));
}

TEST_F(下载客户端测试, 非ASCII字符按UTF8百分号编码发出) {
  服务_.设置路由("GET", "*", {对象应答(100)});
  下载请求 发出 = 请求("");
  发出.url += L"/objects/R\x00e9sum\x00e9-1.bin?v=\x4e2d#frag";
  const 下载记录 记录 = 执行(发出);
  ASSERT_TRUE(记录.成功) << testing::PrintToString(记录.消息);
  EXPECT_EQ(记录.头.finalUrl, 发出.url);
  EXPECT_EQ(服务_.已收请求().at(0).target, "/objects/R%C3%A9sum%C3%A9-1.bin?v=%E4%B8%AD");
}

// Trust, time-outs and hang-ups take the same hop as the JSON client's and are tested there.
TEST_F(下载客户端测试, 连接失败是请求失败参数与地址在连接前拒绝各有其消息) {
  const std::vector<std::pair<std::wstring, const wchar_t*>> 用例表 = {
      {L"https://localhost:1/o", 下载HTTP消息::请求失败},
      {逐字节加宽("http://127.0.0.1:" + std::to_string(服务_.端口()) + "/o"), 下载HTTP消息::参数或地址无效},
      {L"https://local host/o", 下载HTTP消息::无法解析地址},
  };
  for (const auto& [地址, 消息] : 用例表) {
    下载请求 发出 = 请求("/o");
    发出.url = 地址;
    EXPECT_EQ(执行(发出).消息, 消息) << testing::PrintToString(地址);
  }
  std::wstring 错误;
  EXPECT_FALSE(下载客户端().下载(请求("/o"), {}, [](const unsigned char*, std::uint64_t, std::wstring*) { return true; },
                                &错误));
  EXPECT_EQ(错误, 下载HTTP消息::参数或地址无效);
  EXPECT_TRUE(服务_.已收请求().empty());
}

}  // namespace
}  // namespace tallybell
