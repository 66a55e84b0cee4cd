// The WinHTTP download client. The refusals made before any connection run everywhere.
// The transfers use plain HTTP to the designated content host, routed through the system
// proxy to a loopback server inside this test program: Wine's WinHTTP takes its default
// proxy from http_proxy, Windows only from its machine-wide settings, so those tests run
// under Wine and are skipped (visibly) on Windows. HTTPS is not exercised here: WinHTTP
// trusts only the machine's certificate store, which the tests leave alone.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "common/text.h"
#include "download/download_test_support.h"
#include "platform/download_client.h"
#include "platform/windows/proxy_environment_win.h"
#include "platform/windows/windows_test_support.h"
#include "support/test_service.h"
#include "transport/download_http_rules.h"

namespace tallybell::platform {
namespace {

using namespace 测试;

const std::string 内容主机 = TALLYBELL_CONTENT_HOST;
constexpr std::uint64_t 对象大小 = 200000;  // several 64 KiB pieces

std::wstring 内容地址(const std::string& 路径) { return 逐字节加宽("http://" + 内容主机 + 路径); }

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

下载请求 请求(const std::wstring& 地址, std::uint64_t 起点 = 0) {
  下载请求 结果;
  结果.url = 地址;
  结果.rangeStart = 起点;
  结果.connectTimeoutMs = 10000;
  结果.sendTimeoutMs = 10000;
  结果.receiveTimeoutMs = 10000;
  return 结果;
}

下载记录 执行(const 下载请求& 请求) {
  下载记录 记录;
  记录.消息 = L"stale";
  WinHttp客户端 客户端;
  记录.成功 = 客户端.下载(
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

TEST(WinHttp客户端, 参数与地址在连接之前被拒绝) {
  const 下载响应回调 响应回调 = [](const 下载响应&, std::wstring*) { return true; };
  const 下载数据回调 数据回调 = [](const unsigned char*, std::uint64_t, std::wstring*) { return true; };
  WinHttp客户端 客户端;
  for (const std::wstring 地址 : {L"http://127.0.0.1:9/o", L"http://mirror.example/o", L"ftp://cdn.example/o",
                                  L"https:///o", L"https://cdn.example/a b"}) {
    std::wstring 错误;
    EXPECT_FALSE(客户端.下载(请求(地址), 响应回调, 数据回调, &错误)) << testing::PrintToString(地址);
    EXPECT_EQ(错误, 下载HTTP消息::参数或地址无效);
  }
  std::wstring 错误;
  EXPECT_FALSE(客户端.下载(请求(L"https://cdn.example/o"), {}, 数据回调, &错误));
  EXPECT_EQ(错误, 下载HTTP消息::参数或地址无效);
  EXPECT_FALSE(客户端.下载(请求(L"https://cdn.example/o"), 响应回调, {}, nullptr));
}

class WinHttp客户端经代理 : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!在Wine下运行()) GTEST_SKIP() << "needs Wine: only Wine's WinHTTP takes its default proxy from http_proxy";
    ASSERT_TRUE(服务_.已启动());
  }

  测试服务 服务_{服务选项{false}};
  代理环境变量 代理_{L"http_proxy", 逐字节加宽(服务_.地址(""))};
  代理环境变量 无例外_{L"no_proxy", std::nullopt};
};

TEST_F(WinHttp客户端经代理, 整个对象先交响应头再以不超过64KiB的块交正文) {
  服务_.设置路由("GET", "/o", {对象应答(对象大小)});
  const 下载记录 记录 = 执行(请求(内容地址("/o")));
  ASSERT_TRUE(记录.成功) << testing::PrintToString(记录.消息);
  EXPECT_TRUE(记录.消息.empty());
  EXPECT_EQ(记录.响应头次数, 1);
  EXPECT_FALSE(记录.正文先于响应头);
  EXPECT_EQ(记录.头.statusCode, 200u);
  EXPECT_EQ(记录.头.finalUrl, 内容地址("/o"));
  EXPECT_TRUE(记录.头.hasContentLength);
  EXPECT_EQ(记录.头.contentLength, 对象大小);
  EXPECT_TRUE(记录.头.acceptsByteRanges);
  for (const auto 块 : 记录.块) EXPECT_LE(块, 65536u);
  EXPECT_EQ(记录.正文, 偏移图案(对象大小));
  const auto 收到 = 服务_.已收请求();
  ASSERT_EQ(收到.size(), 1u);
  EXPECT_FALSE(收到[0].有请求头("Range"));
  EXPECT_EQ(收到[0].请求头("User-Agent"), "TallybellUpdater/1.0");
}

TEST_F(WinHttp客户端经代理, 从偏移续传发Range并读入ContentRange) {
  服务_.设置路由("GET", "/o", {对象应答(对象大小)});
  const 下载记录 记录 = 执行(请求(内容地址("/o"), 70000));
  ASSERT_TRUE(记录.成功) << testing::PrintToString(记录.消息);
  const auto 收到 = 服务_.已收请求();
  ASSERT_EQ(收到.size(), 1u);
  EXPECT_EQ(收到[0].请求头("Range"), "bytes=70000-");
  EXPECT_EQ(记录.头.statusCode, 206u);
  EXPECT_TRUE(记录.头.hasContentRange);
  EXPECT_EQ(记录.头.rangeStart, 70000u);
  EXPECT_EQ(记录.头.rangeTotal, 对象大小);
  EXPECT_EQ(记录.正文, 偏移图案(对象大小).substr(70000));
}

TEST_F(WinHttp客户端经代理, 无效的ContentRange与不允许的跳转目标在交出响应头之前失败) {
  服务应答 星号 = 对象应答(对象大小);
  星号.headers = {{"Content-Range", "bytes 0-99/*"}};
  服务_.设置路由("GET", "/star", {星号});
  下载记录 记录 = 执行(请求(内容地址("/star"), 10));
  EXPECT_FALSE(记录.成功);
  EXPECT_EQ(记录.消息, 下载HTTP消息::ContentRange无效);
  EXPECT_EQ(记录.响应头次数, 0);

  服务_.设置路由("GET", "/away", {跳转应答(302, "http://mirror.example/o")});
  记录 = 执行(请求(内容地址("/away")));
  EXPECT_FALSE(记录.成功);
  EXPECT_EQ(记录.消息, 下载HTTP消息::最终地址不在允许地址内);
  EXPECT_EQ(记录.响应头次数, 0);
  const auto 收到 = 服务_.已收请求();
  ASSERT_EQ(收到.size(), 2u);
  EXPECT_EQ(收到.back().path, "/away");
}

TEST_F(WinHttp客户端经代理, 跳转带着Range错误状态照常交给响应头回调) {
  服务_.设置路由("GET", "/a", {跳转应答(307, "/o")});
  服务_.设置路由("GET", "/o", {对象应答(对象大小)});
  服务_.设置路由("GET", "/missing", {应答(404, "not here")});
  下载记录 记录 = 执行(请求(内容地址("/a"), 5));
  ASSERT_TRUE(记录.成功) << testing::PrintToString(记录.消息);
  EXPECT_EQ(记录.头.finalUrl, 内容地址("/o"));
  EXPECT_EQ(记录.正文, 偏移图案(对象大小).substr(5));
  const auto 收到 = 服务_.已收请求();
  ASSERT_EQ(收到.size(), 2u);
  EXPECT_EQ(收到[0].请求头("Range"), "bytes=5-");
  EXPECT_EQ(收到[1].请求头("Range"), "bytes=5-");

  记录 = 执行(请求(内容地址("/missing")));
  ASSERT_TRUE(记录.成功) << testing::PrintToString(记录.消息);
  EXPECT_EQ(记录.头.statusCode, 404u);
  EXPECT_EQ(记录.正文, "not here");
}

class WinHttp下载任务 : public 下载任务测试 {
 protected:
  void SetUp() override {
    if (!在Wine下运行()) GTEST_SKIP() << "needs Wine: only Wine's WinHTTP takes its default proxy from http_proxy";
    对象_ = 偏移图案(对象大小);
    下载任务测试::SetUp();
    ASSERT_TRUE(服务_.已启动());
    配置_.downloadUrls = {内容地址("/objects/" + 配置_.sha256)};
  }

  运行结果 真实运行() {
    平台下载客户端 客户端;
    return 运行(客户端);
  }

  测试服务 服务_{服务选项{false}};
  代理环境变量 代理_{L"http_proxy", 逐字节加宽(服务_.地址(""))};
  代理环境变量 无例外_{L"no_proxy", std::nullopt};
};

TEST_F(WinHttp下载任务, 中途断开后下一次以Range续传并完成校验) {
  服务应答 断开 = 对象应答(对象大小);
  断开.resetAfter = 90000;
  服务_.设置路由("GET", "*", {断开, 对象应答(对象大小)});

  const 运行结果 第一次 = 真实运行();
  EXPECT_FALSE(第一次.成功);
  EXPECT_EQ(第一次.消息, L"所有下载线路均失败，断点已保留。");
  const 断点视图 断点 = 读断点();
  ASSERT_TRUE(断点.存在);
  EXPECT_EQ(断点.lastError, "读取 WinHTTP 响应正文失败。");
  // A failed read loses what it had gathered: the pieces read before it stay.
  EXPECT_LE(断点.downloaded, 90000u);
  EXPECT_EQ(部分(), 对象_.substr(0, static_cast<std::size_t>(断点.downloaded)));

  const 运行结果 第二次 = 真实运行();
  ASSERT_TRUE(第二次.成功) << testing::PrintToString(第二次.消息);
  const auto 收到 = 服务_.已收请求();
  ASSERT_EQ(收到.size(), 2u);
  EXPECT_FALSE(收到[0].有请求头("Range"));
  EXPECT_EQ(收到[1].请求头("Range"), 断点.downloaded == 0 ? "" : "bytes=" + std::to_string(断点.downloaded) + "-");
  EXPECT_EQ(读测试文件(文件(".object")), 对象_);
  EXPECT_FALSE(std::filesystem::exists(文件(".part")));
  EXPECT_EQ(第二次.结果.downloadedSize, 对象大小);
}

}  // namespace
}  // namespace tallybell::platform
