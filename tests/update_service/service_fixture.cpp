#include "update_service/service_fixture.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>

#include "documents/policy.h"
#include "service/pg_handles.h"
#include "support/file_helpers.h"
#include "support/release_builder.h"
#include "support/state_files.h"

namespace tallybell::测试 {
namespace {

const std::string 端口 = std::to_string(TALLYBELL_SERVICE_TEST_PORT);
const std::string 基础地址 = "https://localhost:" + 端口;

}  // namespace

const std::string 签名文本 = std::string(86, 'Q') + "==";

std::string 解析正文(const std::string& 安装标识) {
  return "{\"currentReleaseId\":\"\",\"installationId\":\"" + 安装标识 +
         "\",\"lastGoodReleaseId\":\"\",\"launcherVersion\":\"0.1.0.37\",\"os\":\"Linux\",\"productId\":\"tallybell\","
         "\"quarantinedReleaseIds\":[],\"updateCoreVersion\":\"0.1.0.37\",\"userId\":\"\"}";
}

服务场::服务场() {
  数据库_ = 目录.子路径("service.db").string();
  if (const char* 服务器 = std::getenv("TALLYBELL_SERVICE_TEST_PG")) {
    static int 序号 = 0;
    const std::string 名称 = "suite_" + std::to_string(::getpid()) + "_" + std::to_string(++序号);
    服务::PG连接池 池(std::string(服务器) + "/postgres", 1);
    auto 会话 = 池.借出(nullptr);
    EXPECT_TRUE(会话 && 会话->运行(("CREATE DATABASE " + 名称).c_str()));
    数据库_ = std::string(服务器) + "/" + 名称;
  }
  const std::string 证书脚本 = "import sys; sys.path.insert(0, '" TALLYBELL_SOURCE_DIR "/tests/service'); "
                               "from certificates import make_certificates; make_certificates(sys.argv[1])";
  EXPECT_EQ(运行程序("/usr/bin/python3", {"-c", 证书脚本, 目录.子路径("tls").string()}).退出码, 0u);
  ::setenv("SSL_CERT_FILE", 目录.子路径("tls/ca.pem").c_str(), 1);
  设置时钟(时钟_);
  EXPECT_EQ(命令({"init", "--public-url", 基础地址}).退出码, 0u);
  for (const std::string 版本 : {"1.0", "2.0", "3.0"}) {
    const auto 构建 = 目录.子路径("build-" + 版本);
    写测试文件(构建 / "Tallybell.exe", "exe " + 版本);
    写测试文件(构建 / "data.bin", "data of " + 版本);
    const auto 发布 = 运行程序(TALLYBELL_PUBLISH_PROGRAM, {"release", "--input", 构建.string(), "--release-id", 版本,
                                                             "--base-url", 基础地址, "--out", 目录.子路径("content").string()});
    EXPECT_EQ(发布.退出码, 0u) << 发布.输出;
    // 2.0 is signed: the service passes the publisher's signature text on in every policy.
    if (版本 == "2.0") 写测试文件(目录.子路径("content/releases/2.0/manifest.json.sig"), 签名文本 + "\n");
    EXPECT_EQ(命令({"release", "add", 目录.子路径("content/releases/" + 版本).string(), "--base-url", 基础地址}).退出码, 0u);
  }
  // 3.0 loses an object after publishing: its downloads fail with a 404.
  std::filesystem::remove(目录.子路径("content/objects/" + 测试SHA256("data of 3.0") + ".object"));
}

服务场::~服务场() { 停止服务(); }

程序结果 服务场::命令(std::vector<std::string> 参数) {
  const bool 改变推出 = 参数.size() > 1 && 参数[0] == "rollout" && 参数[1] != "status";
  参数.insert(参数.end(), {"--db", 数据库(), "--clock-file", 目录.子路径("clock").string()});
  auto 结果 = 运行程序(TALLYBELL_SERVICE_PROGRAM, 参数, {}, true);
  // A running service picks up operator changes within 0.2 s.
  if (改变推出) std::this_thread::sleep_for(std::chrono::milliseconds(400));
  return 结果;
}

void 服务场::设置时钟(std::uint64_t 秒) {
  时钟_ = 秒;
  写测试文件(目录.子路径("clock"), std::to_string(秒));
}

void 服务场::启动服务() {
  服务_ = std::make_unique<子进程>(
      TALLYBELL_SERVICE_PROGRAM,
      std::vector<std::string>{"serve", "--db", 数据库(), "--clock-file", 目录.子路径("clock").string(), "--cert",
                               目录.子路径("tls/server.pem").string(), "--key", 目录.子路径("tls/server.key").string(),
                               "--listen", "127.0.0.1:" + 端口, "--content", 目录.子路径("content").string()},
      目录.子路径("service.log"));
  for (int i = 0; i < 200 && 请求("GET", "/", "").first == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

void 服务场::停止服务() {
  if (!服务_) return;
  ::kill(服务_->进程号(), SIGTERM);
  const auto 结局 = 服务_->等待(10000);
  EXPECT_TRUE(结局.正常退出 && 结局.退出码 == 0) << 读测试文件(目录.子路径("service.log"));
  服务_.reset();
}

安装运行 服务场::运行安装(int n) {
  const auto 根 = 目录.子路径("installation-" + std::to_string(n));
  const auto 结果 = 运行更新程序({"--background-check", "--force-check", "--program-root", (根 / "program").string(),
                                  "--state-root", (根 / "state").string()});
  版本策略 策略;
  解析版本策略(读测试文件(根 / "state/state/current-policy.json"), &策略);
  // Stands in for the launcher, which starts a prepared release and confirms it; until then
  // the installation would not take another one.
  if (std::filesystem::exists(根 / "state/state.txt")) {
    auto 状态 = 读状态文件(根 / "state/state.txt");
    if (!状态.pendingRelease.empty()) {
      状态.activeRelease = 状态.lastGoodRelease = 状态.pendingRelease;
      状态.pendingRelease.clear();
      ++状态.generation;
      写状态文件(根 / "state", 状态);
    }
  }
  return {结果.退出码, 策略.targetReleaseId, 结果.输出};
}

std::pair<int, std::string> 服务场::请求(const std::string& 方法, const std::string& 路径, const std::string& 正文,
                                         const std::vector<std::pair<std::string, std::string>>& 头) {
  httplib::SSLClient 客户端("localhost", TALLYBELL_SERVICE_TEST_PORT);
  客户端.set_ca_cert_path(目录.子路径("tls/ca.pem").c_str());
  客户端.enable_server_certificate_verification(true);
  客户端.set_connection_timeout(2);
  httplib::Headers 请求头(头.begin(), 头.end());
  httplib::Result 结果 = 方法 == "GET" ? 客户端.Get(路径.c_str(), 请求头)
                         : 方法 == "PUT" ? 客户端.Put(路径.c_str(), 请求头, 正文, "application/json")
                                         : 客户端.Post(路径.c_str(), 请求头, 正文, "application/json");
  return 结果 ? std::make_pair(结果->status, 结果->body) : std::make_pair(0, std::string());
}

std::string 服务场::等待状态(const std::string& 文本) {
  std::string 输出;
  for (int i = 0; i < 100; ++i) {
    输出 = 命令({"rollout", "status"}).输出;
    if (输出.find(文本) != std::string::npos) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return 输出;
}

}  // namespace tallybell::测试
