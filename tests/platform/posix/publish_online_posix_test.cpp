// A release published with the tool and served by the loopback HTTPS service: the core
// resolves the tool's policy, fetches the tool's manifest and downloads the tool's objects.
#include <gtest/gtest.h>

#include <cstdlib>

#include "coordinator/coordinator.h"
#include "transport/download_client.h"
#include "transport/json_http_client.h"
#include "publish/publish_test_support.h"
#include "release/verification.h"
#include "support/lock_namespace.h"
#include "support/temp_dir.h"
#include "support/test_service.h"

namespace tallybell {
namespace {

namespace fs = std::filesystem;
using namespace 测试;

// SSL_CERT_FILE names the service's CA while the run lasts.
class 信任CA {
 public:
  explicit 信任CA(const std::string& 文件) {
    if (const char* 旧 = std::getenv("SSL_CERT_FILE")) 旧值_ = 旧;
    有旧值_ = std::getenv("SSL_CERT_FILE") != nullptr;
    ::setenv("SSL_CERT_FILE", 文件.c_str(), 1);
  }
  ~信任CA() {
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

TEST(发布在线往返, 服务提供发布工具写出的内容时后台检查安装该版本) {
  测试::私有锁命名空间 锁空间;
  测试服务 服务;
  ASSERT_TRUE(服务.已启动());
  测试临时目录 目录;
  写构建(目录.子路径("build"), 样例构建());
  const fs::path 内容 = 目录.子路径("content");
  发布(目录.子路径("build"), "r7", 内容, 服务.地址("/content/"));
  const auto 策略 = 运行发布工具({"policy", "--manifest", 路径文本(内容 / "releases/r7/manifest.json"), "--manifest-url",
                                  服务.地址("/content/releases/r7/manifest.json"), "--policy-version", "1",
                                  "--assignment-id", "online", "--check-after", "2020-01-01T00:00:00Z", "--result-url",
                                  服务.地址("/update/v1/results"), "--out", 路径文本(目录.子路径("policy.json"))});
  ASSERT_EQ(策略.退出码, 0u) << 策略.输出;

  // The service publishes the content directory as it is, file by file.
  for (const auto& 项 : fs::recursive_directory_iterator(内容)) {
    if (!项.is_regular_file()) continue;
    服务.设置路由("GET", "/content/" + fs::relative(项.path(), 内容).generic_u8string(), {应答(200, 读测试文件(项.path()))});
  }
  服务.设置路由("POST", "/update/v1/resolve", {应答(200, 读测试文件(目录.子路径("policy.json")))});
  服务.设置路由("POST", "/update/v1/results", {应答(204)});

  更新协调器配置 配置;
  配置.programRoot = 目录.宽路径("program");
  配置.stateRoot = 目录.宽路径("state");
  配置.cacheRoot = 目录.宽路径("cache");
  const std::string 解析地址 = 服务.地址("/update/v1/resolve");
  配置.resolveUrls = {std::wstring(解析地址.begin(), 解析地址.end())};
  配置.userId = "publisher";
  更新协调器结果 结果;
  std::wstring 错误;
  {
    信任CA 信任(服务.CA文件());
    JsonHttp客户端 json;
    下载客户端 下载;
    ASSERT_EQ(运行更新协调器(配置, &json, &下载, &结果, &错误), 0u) << std::string(错误.begin(), 错误.end());
  }
  EXPECT_TRUE(结果.releasePrepared);
  EXPECT_TRUE(发布目录可用(目录.宽路径("program/releases/r7")));
  EXPECT_EQ(读测试文件(目录.子路径("program/releases/r7/bin/core-copy.dll")), std::string(3000, 'c'));
  int 对象请求 = 0;
  for (const auto& 请求 : 服务.已收请求()) 对象请求 += 请求.path.rfind("/content/objects/", 0) == 0 ? 1 : 0;
  EXPECT_EQ(对象请求, 3);  // four files, three distinct contents
}

}  // namespace
}  // namespace tallybell
