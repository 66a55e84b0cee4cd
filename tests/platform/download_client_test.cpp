// The download client over the platform's HTTP library (libcurl, or WinHTTP under Wine)
// against the loopback HTTPS service, connected directly. Trust, time-outs and hang-ups
// take the same hop as the JSON client's and are tested there.
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
using 块表 = std::vector<std::uint64_t>;

constexpr std::uint64_t 对象大小 = 3 * 4096 + 100;

// What one call produced, as its callbacks saw it.
struct 下载记录 {
  bool 成功 = false;
  std::wstring 消息;
  int 响应头次数 = 0;
  bool 正文先于响应头 = false;
  下载响应 头;
  块表 块;
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
    结果.connectTimeoutMs = 结果.sendTimeoutMs = 结果.receiveTimeoutMs = 10000;
    return 结果;
  }

  下载记录 执行(const 下载请求& 请求, std::size_t 批量字节 = 0) const {
    下载记录 记录;
    记录.消息 = L"stale";
    记录.成功 = 下载客户端(批量字节).下载(
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

TEST_F(下载客户端测试, 先交响应头再按批量交正文续传时发Range并读入ContentRange) {
  服务_.设置路由("GET", "/o", {对象应答(对象大小)});
  const struct {
    std::uint64_t 起点;
    std::size_t 批量;
    std::uint32_t 状态码;
    块表 块;
    const char* Range;
  } 用例表[] = {{0, 4096, 200, {4096, 4096, 4096, 100}, ""}, {1000, 0, 206, {对象大小 - 1000}, "bytes=1000-"}};
  for (const auto& 项 : 用例表) {
    SCOPED_TRACE(项.起点);
    const std::size_t 此前 = 服务_.已收请求().size();
    const 下载记录 记录 = 执行(请求("/o", 项.起点), 项.批量);
    ASSERT_TRUE(记录.成功) << testing::PrintToString(记录.消息);
    EXPECT_TRUE(记录.消息.empty());
    EXPECT_EQ(记录.响应头次数, 1);
    EXPECT_FALSE(记录.正文先于响应头);
    EXPECT_EQ(记录.头.statusCode, 项.状态码);
    EXPECT_EQ(记录.头.finalUrl, 请求("/o").url);
    EXPECT_EQ(记录.头.hasContentRange, 项.起点 != 0);
    EXPECT_EQ(记录.头.hasContentRange ? 记录.头.rangeStart : 0, 项.起点);
    EXPECT_EQ(记录.头.hasContentRange ? 记录.头.rangeTotal : 记录.头.contentLength, 对象大小);
    EXPECT_TRUE(记录.头.hasContentLength && 记录.头.acceptsByteRanges);
    EXPECT_EQ(记录.块, 项.块);
    EXPECT_EQ(记录.正文, 偏移图案(对象大小).substr(项.起点));
    EXPECT_EQ(收到的Range(此前), 项.Range);
  }
  EXPECT_EQ(服务_.已收请求().at(0).请求头("User-Agent"), "TallybellUpdater/1.0");
  EXPECT_EQ(服务_.已收请求().at(0).tlsVersion, "TLSv1.2");
}

TEST_F(下载客户端测试, 响应头按原始值判断无效值在交出响应头之前失败) {
  const struct {
    std::string 名称;
    std::string 值;
    const wchar_t* 消息;  // nullptr: accepted
    bool 接受字节范围;
  } 用例表[] = {
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

// A callback's refusal stops the call with its message. (Bytes cut off by a reset and a
// slow server's trickle are met by the fault table of the download task.)
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
  EXPECT_EQ(记录.块, 块表{4096});
}

TEST_F(下载客户端测试, 非ASCII字符按UTF8百分号编码发出) {
  服务_.设置路由("GET", "*", {对象应答(100)});
  下载请求 发出 = 请求("");
  发出.url += L"/objects/R\x00e9sum\x00e9-1.bin?v=\x4e2d#frag";
  const 下载记录 记录 = 执行(发出);
  ASSERT_TRUE(记录.成功) << testing::PrintToString(记录.消息);
  EXPECT_EQ(记录.头.finalUrl, 发出.url);
  EXPECT_EQ(服务_.已收请求().at(0).target, "/objects/R%C3%A9sum%C3%A9-1.bin?v=%E4%B8%AD");

  // Nothing listening: the hop fails.
  发出.url = L"https://localhost:1/o";
  EXPECT_EQ(执行(发出).消息, 下载HTTP消息::请求失败);
}

}  // namespace
}  // namespace tallybell
