// A whole update run against a real HTTPS service on loopback: resolve, manifest, object
// downloads and result delivery through the platform's own clients.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>

#include "coordinator/coordinator.h"
#include "transport/download_client.h"
#include "transport/json_http_client.h"
#include "release/verification.h"
#include "support/file_helpers.h"
#include "support/release_builder.h"
#include "support/state_files.h"
#include "support/lock_namespace.h"
#include "support/temp_dir.h"
#include "support/test_service.h"
#include "support/update_fixture.h"

namespace tallybell {
namespace {

using namespace 测试;

// SSL_CERT_FILE names the service's CA while the test runs.
class 信任测试CA {
 public:
  explicit 信任测试CA(const std::string& 文件) {
    if (const char* 旧 = std::getenv("SSL_CERT_FILE")) 旧值_ = 旧;
    有旧值_ = std::getenv("SSL_CERT_FILE") != nullptr;
    ::setenv("SSL_CERT_FILE", 文件.c_str(), 1);
  }
  ~信任测试CA() {
    if (有旧值_) {
      ::setenv("SSL_CERT_FILE", 旧值_.c_str(), 1);
    } else {
      ::unsetenv("SSL_CERT_FILE");
    }
  }

 private:
  std::string 旧值_;
  bool 有旧值_ = false;
};

class 在线更新 : public ::testing::Test {
 protected:
  // Named locks of this test stay apart from tests running at the same time.
  测试::私有锁命名空间 锁空间_;

  void SetUp() override {
    ASSERT_TRUE(服务_.已启动());
    // The manifest lists download URLs on the service itself.
    std::string 文件列表;
    for (const auto& [路径, 内容] : 文件_) {
      const std::string 哈希 = 测试SHA256(内容);
      服务_.设置路由("GET", "/objects/" + 哈希 + ".object", {应答(200, 内容)});
      文件列表 += std::string(文件列表.empty() ? "" : ",") + "{\"path\":\"" + 路径 + "\",\"sha256\":\"" + 哈希 +
                  "\",\"size\":" + std::to_string(内容.size()) + ",\"downloadUrls\":[\"" +
                  服务_.地址("/objects/" + 哈希 + ".object") + "\"]}";
    }
    清单_ = "{\"formatVersion\":1,\"releaseId\":\"r5\",\"files\":[" + 文件列表 + "]}";
    策略_.targetReleaseId = "r5";
    策略_.resultReportUrls = {服务_.地址("/update/v1/results")};
    std::string 策略文本 = 生成策略文本(策略_, 测试SHA256(清单_));
    const std::string 旧地址 = "https://updates.tallybell.example/releases/r5/manifest.json";
    策略文本.replace(策略文本.find(旧地址), 旧地址.size(), 服务_.地址("/releases/r5/manifest.json"));
    策略文本_ = 策略文本;
    服务_.设置路由("POST", "/update/v1/resolve", {应答(200, 策略文本_)});
    服务_.设置路由("GET", "/releases/r5/manifest.json", {应答(200, 清单_)});
    服务_.设置路由("POST", "/update/v1/results", {应答(204)});

    配置_.programRoot = 目录_.宽路径("program");
    配置_.stateRoot = 目录_.宽路径("state");
    配置_.cacheRoot = 目录_.宽路径("cache");
    配置_.resolveUrls = {UTF8宽(服务_.地址("/update/v1/resolve"))};
    配置_.userId = "user-7";
  }
  static std::wstring UTF8宽(const std::string& 文本) { return std::wstring(文本.begin(), 文本.end()); }
  std::uint32_t 运行(std::wstring* 错误 = nullptr) {
    信任测试CA 信任(服务_.CA文件());
    JsonHttp客户端 json;
    下载客户端 下载;
    return 运行更新协调器(配置_, &json, &下载, &结果_, 错误);
  }

  测试服务 服务_;
  测试临时目录 目录_;
  发布内容 文件_ = {{"Tallybell.exe", std::string(70000, 'e')}, {"lib/x.dll", "xx"}};
  夹具策略 策略_;
  std::string 清单_, 策略文本_;
  更新协调器配置 配置_;
  更新协调器结果 结果_;
};

TEST_F(在线更新, 解析下载组装并回报) {
  std::wstring 错误;
  ASSERT_EQ(运行(&错误), 0u) << std::string(错误.begin(), 错误.end());
  EXPECT_TRUE(结果_.releasePrepared);
  EXPECT_TRUE(发布目录可用(目录_.宽路径("program/releases/r5")));
  EXPECT_EQ(读测试文件(目录_.子路径("state/state/current-policy.json")), 策略文本_);

  const auto 请求 = 服务_.已收请求();
  ASSERT_FALSE(请求.empty());
  const auto& 解析 = 请求.front();
  EXPECT_EQ(解析.method, "POST");
  EXPECT_EQ(解析.path, "/update/v1/resolve");
  EXPECT_EQ(解析.请求头("Content-Type"), "application/json; charset=utf-8");
  EXPECT_EQ(解析.请求头("Cache-Control"), "no-store, no-cache, must-revalidate");
  EXPECT_EQ(解析.请求头("Pragma"), "no-cache");
  EXPECT_TRUE(std::regex_match(解析.请求头("X-Request-Id"),
                               std::regex(R"(\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\})")))
      << 解析.请求头("X-Request-Id");
  const std::string 标识 = 读测试文件(目录_.子路径("state/state/installation-id.txt"));
  const std::regex 正文形状(
      R"re(\{"currentReleaseId":"","installationId":"([^"]+)","lastGoodReleaseId":"","launcherVersion":"0\.1\.0\.37","os":"[^"]+","productId":"tallybell","quarantinedReleaseIds":\[\],"updateCoreVersion":"0\.1\.0\.37","userId":"user-7"\})re");
  std::smatch 匹配;
  ASSERT_TRUE(std::regex_match(解析.body, 匹配, 正文形状)) << 解析.body;
  EXPECT_EQ(匹配[1].str() + "\n", 标识);

  int 对象请求 = 0;
  const 记录的请求* 回报 = nullptr;
  for (const auto& 项 : 请求) {
    if (项.path.rfind("/objects/", 0) == 0) ++对象请求;
    if (项.path == "/update/v1/results") 回报 = &项;
  }
  EXPECT_EQ(对象请求, 2);
  ASSERT_NE(回报, nullptr);
  EXPECT_NE(回报->body.find("\"result\":\"prepared\""), std::string::npos);
  EXPECT_NE(回报->body.find("\"eventId\":\"" + 回报->请求头("Idempotency-Key") + "\""), std::string::npos);
  EXPECT_TRUE(目录内容(目录_.子路径("state/results/pending")).empty());
}

TEST_F(在线更新, 解析服务503时3012并退避) {
  服务_.设置路由("POST", "/update/v1/resolve", {应答(503, "busy")});
  std::wstring 错误;
  EXPECT_EQ(运行(&错误), 3012u);
  EXPECT_EQ(错误, L"无法取得有效更新策略，现有版本状态未改变。");
  const auto 状态 = 读状态文件(目录_.子路径("state/state.txt"));
  EXPECT_EQ(状态.updateFailureCount, 1u);
  EXPECT_FALSE(状态.nextCheckAt.empty());
  EXPECT_FALSE(std::filesystem::exists(目录_.子路径("state/state/current-policy.json")));
}

}  // namespace
}  // namespace tallybell
