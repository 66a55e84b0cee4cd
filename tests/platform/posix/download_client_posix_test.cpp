// The libcurl download client against the HTTPS test service, trusted through its own CA.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "download/scripted_transport.h"
#include "platform/download_client.h"
#include "platform/posix/download_client_test_support.h"
#include "transport/download_http_rules.h"

namespace tallybell::platform {
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

class Curl下载客户端测试 : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(服务_.已启动());
    只信任测试服务(服务_, &环境_);
  }

  下载请求 请求(const std::string& 路径, std::uint64_t 起点 = 0) const {
    下载请求 结果;
    结果.url = 宽地址(服务_, 路径);
    结果.rangeStart = 起点;
    结果.connectTimeoutMs = 10000;
    结果.sendTimeoutMs = 10000;
    结果.receiveTimeoutMs = 10000;
    return 结果;
  }

  下载记录 执行(const 下载请求& 请求, std::size_t 块字节 = 0) const {
    下载记录 记录;
    记录.消息 = L"stale";
    Curl下载客户端 客户端(块字节);
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

  测试服务 服务_;
  下载环境替换 环境_;
  bool 拒绝响应头_ = false;
  bool 拒绝正文_ = false;
};

TEST_F(Curl下载客户端测试, 整个对象先交响应头再按固定块交正文且不发Range) {
  服务_.设置路由("GET", "/o", {对象应答(对象大小)});
  const 下载记录 记录 = 执行(请求("/o"), 4096);
  ASSERT_TRUE(记录.成功) << testing::PrintToString(记录.消息);
  EXPECT_TRUE(记录.消息.empty());
  EXPECT_EQ(记录.响应头次数, 1);
  EXPECT_FALSE(记录.正文先于响应头);
  EXPECT_EQ(记录.头.statusCode, 200u);
  EXPECT_EQ(记录.头.finalUrl, 宽地址(服务_, "/o"));
  EXPECT_TRUE(记录.头.hasContentLength);
  EXPECT_EQ(记录.头.contentLength, 对象大小);
  EXPECT_FALSE(记录.头.hasContentRange);
  EXPECT_TRUE(记录.头.acceptsByteRanges);
  EXPECT_EQ(记录.块, (std::vector<std::uint64_t>{4096, 4096, 4096, 100}));
  EXPECT_EQ(记录.正文, 偏移图案(对象大小));

  const auto 收到 = 服务_.已收请求();
  ASSERT_EQ(收到.size(), 1u);
  EXPECT_EQ(收到[0].method, "GET");
  EXPECT_FALSE(收到[0].有请求头("Range"));
  EXPECT_EQ(收到[0].请求头("User-Agent"), "TallybellUpdater/1.0");
  EXPECT_EQ(收到[0].tlsVersion, "TLSv1.2");
}

TEST_F(Curl下载客户端测试, 从偏移续传发Range并读入ContentRange) {
  服务_.设置路由("GET", "/o", {对象应答(对象大小)});
  const 下载记录 记录 = 执行(请求("/o", 1000));
  ASSERT_TRUE(记录.成功) << testing::PrintToString(记录.消息);
  EXPECT_EQ(收到的Range(服务_, 0), "bytes=1000-");
  EXPECT_EQ(记录.头.statusCode, 206u);
  EXPECT_TRUE(记录.头.hasContentRange);
  EXPECT_EQ(记录.头.rangeStart, 1000u);
  EXPECT_EQ(记录.头.rangeTotal, 对象大小);
  EXPECT_EQ(记录.头.contentLength, 对象大小 - 1000);
  // The whole rest is smaller than the default chunk: one chunk.
  EXPECT_EQ(记录.块, (std::vector<std::uint64_t>{对象大小 - 1000}));
  EXPECT_EQ(记录.正文, 偏移图案(对象大小).substr(1000));
}

TEST_F(Curl下载客户端测试, 响应头按原始值判断无效值在交出响应头之前失败) {
  struct 用例 {
    std::string 名称;
    std::string 值;
    const wchar_t* 消息;  // nullptr: accepted
    bool 接受字节范围;
  };
  const std::vector<用例> 用例表 = {
      {"Accept-Ranges", "Bytes", nullptr, true},
      {"Accept-Ranges", "bytes, none", nullptr, false},
      {"Accept-Ranges", "none", nullptr, false},
      {"Content-Range", "bytes 0-99/*", 下载HTTP消息::ContentRange无效, false},
      {"Content-Range", "bytes */12388", 下载HTTP消息::ContentRange无效, false},
      {"Content-Range", "bytes 5-4/10", 下载HTTP消息::ContentRange无效, false},
      {"Content-Length", "+12388", nullptr, true},
      {"Content-Length", "12x", 下载HTTP消息::ContentLength无效, false},
  };
  for (const auto& 项 : 用例表) {
    SCOPED_TRACE(项.名称 + ": " + 项.值);
    服务应答 应答 = 对象应答(对象大小);
    应答.headers = {{项.名称, 项.值}};
    服务_.设置路由("GET", "/o", {应答});
    const 下载记录 记录 = 执行(请求("/o"));
    if (项.消息 == nullptr) {
      ASSERT_TRUE(记录.成功) << testing::PrintToString(记录.消息);
      EXPECT_EQ(记录.头.acceptsByteRanges, 项.接受字节范围);
      EXPECT_EQ(记录.正文, 偏移图案(对象大小));
    } else {
      EXPECT_FALSE(记录.成功);
      EXPECT_EQ(记录.消息, 项.消息);
      EXPECT_EQ(记录.响应头次数, 0);
      EXPECT_TRUE(记录.块.empty());
    }
  }
}

TEST_F(Curl下载客户端测试, 错误状态照常交给响应头回调) {
  服务_.设置路由("GET", "/missing", {应答(404, "not here")});
  const 下载记录 记录 = 执行(请求("/missing", 10));
  ASSERT_TRUE(记录.成功) << testing::PrintToString(记录.消息);
  EXPECT_EQ(记录.头.statusCode, 404u);
  EXPECT_EQ(记录.正文, "not here");
}

TEST_F(Curl下载客户端测试, 自己跟随跳转每一跳都带Range最终地址是最后一跳) {
  服务_.设置路由("GET", "/a", {跳转应答(302, "b")});
  服务_.设置路由("GET", "/b", {跳转应答(307, 服务_.地址("/o"))});
  服务_.设置路由("GET", "/o", {对象应答(对象大小)});
  const 下载记录 记录 = 执行(请求("/a", 100));
  ASSERT_TRUE(记录.成功) << testing::PrintToString(记录.消息);
  EXPECT_EQ(记录.响应头次数, 1);
  EXPECT_EQ(记录.头.finalUrl, 宽地址(服务_, "/o"));
  EXPECT_EQ(记录.头.rangeStart, 100u);
  EXPECT_EQ(记录.正文, 偏移图案(对象大小).substr(100));
  const auto 收到 = 服务_.已收请求();
  ASSERT_EQ(收到.size(), 3u);
  for (const auto& 项 : 收到) EXPECT_EQ(项.请求头("Range"), "bytes=100-") << 项.path;
}

TEST_F(Curl下载客户端测试, 不允许的跳转目标从不请求且至多跟随五次) {
  const std::string 明文 = "http://127.0.0.1:" + std::to_string(服务_.端口()) + "/o";
  服务_.设置路由("GET", "/a", {跳转应答(302, 明文)});
  下载记录 记录 = 执行(请求("/a"));
  EXPECT_FALSE(记录.成功);
  EXPECT_EQ(记录.消息, 下载HTTP消息::最终地址不在允许地址内);
  EXPECT_EQ(记录.响应头次数, 0);
  EXPECT_EQ(服务_.已收请求().size(), 1u);

  服务_.设置路由("GET", "/a", {跳转应答(302, "/a")});
  记录 = 执行(请求("/a"));
  EXPECT_FALSE(记录.成功);
  EXPECT_EQ(记录.消息, 下载HTTP消息::请求失败);
  EXPECT_EQ(服务_.已收请求().size(), 1u + 6u);
}

TEST_F(Curl下载客户端测试, 回调拒绝即停止且保留回调的消息) {
  服务_.设置路由("GET", "/o", {对象应答(对象大小)});
  拒绝响应头_ = true;
  下载记录 记录 = 执行(请求("/o"));
  EXPECT_FALSE(记录.成功);
  EXPECT_EQ(记录.消息, L"head refused");
  EXPECT_TRUE(记录.块.empty());

  拒绝响应头_ = false;
  拒绝正文_ = true;
  记录 = 执行(请求("/o"), 4096);
  EXPECT_FALSE(记录.成功);
  EXPECT_EQ(记录.消息, L"chunk refused");
  EXPECT_EQ(记录.块, (std::vector<std::uint64_t>{4096}));
}

TEST_F(Curl下载客户端测试, 中途断开时已收字节全部交出再报读取失败) {
  服务应答 应答 = 对象应答(对象大小);
  应答.resetAfter = 5000;
  服务_.设置路由("GET", "/o", {应答});
  const 下载记录 记录 = 执行(请求("/o"));
  EXPECT_FALSE(记录.成功);
  EXPECT_EQ(记录.消息, 下载HTTP消息::读取正文失败);
  EXPECT_EQ(记录.响应头次数, 1);
  EXPECT_EQ(记录.正文, 偏移图案(5000));
}

TEST_F(Curl下载客户端测试, 慢速服务端的字节不会滞留到传输结束) {
  服务应答 应答 = 对象应答(4000);
  应答.trickleBytes = 500;
  应答.trickleMs = 400;  // 8 pieces over more than three seconds
  服务_.设置路由("GET", "/o", {应答});
  const 下载记录 记录 = 执行(请求("/o"));
  ASSERT_TRUE(记录.成功) << testing::PrintToString(记录.消息);
  EXPECT_EQ(记录.正文, 偏移图案(4000));
  EXPECT_GE(记录.块.size(), 2u);
}

TEST_F(Curl下载客户端测试, 连接与信任失败是请求失败参数与地址在连接前拒绝) {
  下载请求 不可连接 = 请求("/o");
  不可连接.url = L"https://127.0.0.1:1/o";
  EXPECT_EQ(执行(不可连接).消息, 下载HTTP消息::请求失败);

  服务_.设置路由("GET", "/o", {对象应答(对象大小)});
  {
    下载环境替换 无信任;
    无信任.设置("SSL_CERT_FILE", 服务_.CA目录() + "/missing.pem");
    const 下载记录 记录 = 执行(请求("/o"));
    EXPECT_FALSE(记录.成功);
    EXPECT_EQ(记录.消息, 下载HTTP消息::请求失败);
    EXPECT_EQ(记录.响应头次数, 0);
  }

  下载请求 明文 = 请求("/o");
  明文.url = 逐字节加宽("http://127.0.0.1:" + std::to_string(服务_.端口()) + "/o");
  EXPECT_EQ(执行(明文).消息, 下载HTTP消息::参数或地址无效);
  Curl下载客户端 客户端;
  std::wstring 错误;
  EXPECT_FALSE(客户端.下载(请求("/o"), {}, [](const unsigned char*, std::uint64_t, std::wstring*) { return true; },
                           &错误));
  EXPECT_EQ(错误, 下载HTTP消息::参数或地址无效);
  EXPECT_TRUE(服务_.已收请求().empty());
}

}  // namespace
}  // namespace tallybell::platform
