// Server faults met by the real download client and the download task over HTTPS, on
// both platforms: what each leaves behind (lastError, .part, checkpoint), and that the
// next run resumes from there with a Range request and ends with a verified object. The
// task's own checks of sizes, ranges, statuses and hashes are tabled with the scripted
// transport (tests/download); here are the faults the platform's HTTP library meets.
#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "common/text.h"
#include "download/download_test_support.h"
#include "support/environment_guard.h"
#include "support/test_service.h"
#include "transport/download_client.h"

namespace tallybell {
namespace {

namespace fs = std::filesystem;
using namespace 测试;

constexpr std::uint64_t 对象大小 = 100000;
constexpr std::uint64_t 已有 = 4000;  // bytes an earlier, interrupted run left in .part

struct 服务故障 {
  const char* 名称;
  服务应答 应答;
  const char* 最近错误;
  std::optional<std::uint64_t> 之后部分;  // .part afterwards; none: more than before, not all
  bool 至多 = false;  // .part at most 之后部分: WinHTTP may drop what it held when a read failed
  const wchar_t* 任务消息 = L"所有下载线路均失败，断点已保留。";
  std::uint32_t 时限毫秒 = 30000;
};

// The object, served right except for what 改动 changes.
服务应答 对象(const std::function<void(服务应答&)>& 改动 = {}) {
  服务应答 应答 = 对象应答(对象大小);
  if (改动) 改动(应答);
  return 应答;
}

std::vector<服务故障> 故障表(std::uint16_t 端口) {
  const char* 读取失败 = "读取 WinHTTP 响应正文失败。";
  const char* 范围无效 = "Content-Range 响应头无效。";
  服务应答 挂断;
  挂断.hangUp = true;
  return {
      {"body cut off, then the connection resets", 对象([](auto& 应答) { 应答.resetAfter = 20000; }), 读取失败,
       已有 + 20000, true},
      {"200 to a range request, then cut off",
       对象([](auto& 应答) { 应答.ignoreRange = true; 应答.resetAfter = 30000; }), 读取失败, 30000, true},
      {"206 with a * total", 对象([](auto& 应答) { 应答.headers = {{"Content-Range", "bytes 4000-99999/*"}}; }),
       范围无效, 已有},
      {"body longer than the object", 对象([](auto& 应答) { 应答.chunked = true; 应答.extraBytes = 100; }),
       "下载正文超过声明大小。", 已有},
      {"redirect to a refused address", 跳转应答(302, "http://127.0.0.1:" + std::to_string(端口) + "/o"),
       "下载最终地址不在允许地址内。", 已有},
      {"connection closed without an answer", 挂断, "WinHTTP 下载请求失败。", 已有},
      {"a server trickling bytes until the time limit",
       对象([](auto& 应答) { 应答.trickleBytes = 2000; 应答.trickleMs = 250; }), "下载任务超过总时限。", std::nullopt,
       false, L"下载任务超过总时限。", 3000},
  };
}

class 真实下载故障测试 : public 下载任务测试 {
 protected:
  void SetUp() override {
    对象_ = 偏移图案(对象大小);
    下载任务测试::SetUp();
    if (const std::string 原因 = 网络测试不可运行原因(); !原因.empty()) GTEST_SKIP() << 原因;
    ASSERT_TRUE(服务_.已启动());
    只信任(服务_, &环境_);
    配置_.downloadUrls = {逐字节加宽(服务_.地址("/objects/" + 配置_.sha256))};
  }

  运行结果 真实运行() {
    下载客户端 客户端;
    return 运行(客户端);
  }

  std::string 收到的Range(std::size_t 序号) const { return 服务_.已收请求().at(序号).请求头("Range"); }

  测试服务 服务_;
  环境变量保护 环境_;
};

TEST_F(真实下载故障测试, 每种服务端故障留下正确的断点下一次续传完成) {
  for (const auto& 故障 : 故障表(服务_.端口())) {
    SCOPED_TRACE(故障.名称);
    fs::remove_all(缓存());
    写部分(已有);
    写断点(已有, 1, 0, "earlier");
    服务_.设置路由("GET", "*", {故障.应答, 对象应答(对象大小)});
    const std::size_t 此前请求 = 服务_.已收请求().size();
    配置_.totalTimeoutMs = 故障.时限毫秒;

    const 运行结果 第一次 = 真实运行();
    EXPECT_FALSE(第一次.成功);
    EXPECT_EQ(第一次.消息, 故障.任务消息);
    ASSERT_EQ(服务_.已收请求().size(), 此前请求 + 1);
    EXPECT_EQ(收到的Range(此前请求), "bytes=4000-");
    EXPECT_FALSE(fs::exists(文件(".object")));
    const 断点视图 断点 = 读断点();
    ASSERT_TRUE(断点.存在);
    EXPECT_EQ(断点.lastError, 故障.最近错误);
    EXPECT_EQ(断点.retryCount, 2u);
    if (故障.至多) {
      EXPECT_LE(断点.downloaded, *故障.之后部分);
    } else if (故障.之后部分) {
      EXPECT_EQ(断点.downloaded, *故障.之后部分);
    } else {
      EXPECT_GT(断点.downloaded, 已有);
      EXPECT_LT(断点.downloaded, 对象大小);
    }
    EXPECT_EQ(部分(), 对象_.substr(0, static_cast<std::size_t>(断点.downloaded)));
    const bool 留下部分 = fs::exists(文件(".part"));

    配置_.totalTimeoutMs = 30000;
    const 运行结果 第二次 = 真实运行();
    ASSERT_TRUE(第二次.成功) << testing::PrintToString(第二次.消息);
    const std::string 续传范围 = 断点.downloaded == 0 ? "" : "bytes=" + std::to_string(断点.downloaded) + "-";
    EXPECT_EQ(收到的Range(此前请求 + 1), 续传范围);
    EXPECT_EQ(读测试文件(文件(".object")), 对象_);
    EXPECT_FALSE(fs::exists(文件(".part")) || fs::exists(文件(".part.json")));
    EXPECT_EQ(第二次.结果.downloadedSize, 对象大小);
    // A run that finds no .part discards the checkpoint, and its count starts again.
    EXPECT_EQ(第二次.结果.retryCount, 留下部分 ? 3u : 1u);
  }
}

}  // namespace
}  // namespace tallybell
