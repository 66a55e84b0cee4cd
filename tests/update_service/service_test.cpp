// The update service on loopback with its database and the real update program over HTTPS:
// what it refuses, how the operator commands answer, rollouts an operator drives, and
// rollouts that drive and stop themselves. (Results that survive a killed instance are
// checked by the service cluster run.) And the policies it issues over a month.
#include <gtest/gtest.h>
#include <httplib.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <thread>

#include "common/time_text.h"
#include "documents/policy.h"
#include "publish/publish_test_support.h"
#include "service/pg_handles.h"
#include "service/policy_issue.h"
#include "service/rollout_monitor.h"
#include "service/rollout_rules.h"
#include "service/service_store.h"
#include "service/store_open.h"
#include "support/child_process.h"
#include "support/environment_guard.h"
#include "support/file_helpers.h"
#include "support/lock_namespace.h"
#include "support/program_runner.h"
#include "support/release_builder.h"
#include "support/state_files.h"
#include "support/temp_dir.h"

namespace tallybell::测试 {
namespace {

const std::string 基础地址 = "https://localhost:" + std::to_string(TALLYBELL_SERVICE_TEST_PORT);
const std::string 签名文本 = std::string(86, 'Q') + "==";  // beside release 2.0's manifest
constexpr int 安装数 = 10;

// A resolve body as the update program sends it.
std::string 解析正文(const std::string& 安装标识) {
  return "{\"currentReleaseId\":\"\",\"installationId\":\"" + 安装标识 +
         "\",\"lastGoodReleaseId\":\"\",\"launcherVersion\":\"0.1.0.37\",\"os\":\"Linux\",\"productId\":\"tallybell\","
         "\"quarantinedReleaseIds\":[],\"updateCoreVersion\":\"0.1.0.37\",\"userId\":\"\"}";
}

// One service with published releases 1.0, 2.0 (signed) and 3.0 (it lacks an object, so
// every installation fails to download it) and an injected clock. The database is a SQLite
// file, or with TALLYBELL_SERVICE_TEST_PG (a PostgreSQL server's URI) a fresh database on
// that server, so the same suite runs on both stores.
class 更新服务 : public ::testing::Test {
 protected:
  更新服务() {
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
    环境_.设置("SSL_CERT_FILE", 目录.子路径("tls/ca.pem").string());
    设置时钟(时钟_);
    EXPECT_EQ(命令({"init", "--public-url", 基础地址}).退出码, 0u);
    for (const std::string 版本 : {"1.0", "2.0", "3.0"}) {
      写构建(目录.子路径("build-" + 版本), {{"Tallybell.exe", "exe " + 版本}, {"data.bin", "data of " + 版本}});
      发布(目录.子路径("build-" + 版本), 版本, 目录.子路径("content"), {"--base-url", 基础地址});
      // The service passes the publisher's signature text on in every policy.
      if (版本 == "2.0") 写测试文件(目录.子路径("content/releases/2.0/manifest.json.sig"), 签名文本 + "\n");
      EXPECT_EQ(命令({"release", "add", 目录.子路径("content/releases/" + 版本).string(), "--base-url", 基础地址}).退出码, 0u);
    }
    std::filesystem::remove(目录.子路径("content/objects/" + 测试SHA256("data of 3.0") + ".object"));
  }
  ~更新服务() override { 停止服务(); }

  // An operator command with --db and --clock-file added.
  程序结果 命令(std::vector<std::string> 参数) {
    const bool 改变推出 = 参数.size() > 1 && 参数[0] == "rollout" && 参数[1] != "status";
    参数.insert(参数.end(), {"--db", 数据库_, "--clock-file", 目录.子路径("clock").string()});
    auto 结果 = 运行程序(TALLYBELL_SERVICE_PROGRAM, 参数, {}, true);
    // A running service picks up operator changes within 0.2 s.
    if (改变推出) std::this_thread::sleep_for(std::chrono::milliseconds(400));
    return 结果;
  }
  void 设置时钟(std::uint64_t 秒) {
    时钟_ = 秒;
    写测试文件(目录.子路径("clock"), std::to_string(秒));
  }
  void 启动服务() {
    服务_ = std::make_unique<子进程>(
        TALLYBELL_SERVICE_PROGRAM,
        std::vector<std::string>{"serve", "--db", 数据库_, "--clock-file", 目录.子路径("clock").string(), "--cert",
                                 目录.子路径("tls/server.pem").string(), "--key", 目录.子路径("tls/server.key").string(),
                                 "--listen", "127.0.0.1:" + std::to_string(TALLYBELL_SERVICE_TEST_PORT), "--content",
                                 目录.子路径("content").string()},
        目录.子路径("service.log"));
    for (int i = 0; i < 200 && 请求("GET", "/", "").first == 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  void 停止服务() {
    if (!服务_) return;
    ::kill(服务_->进程号(), SIGTERM);
    const auto 结局 = 服务_->等待(10000);
    EXPECT_TRUE(结局.正常退出 && 结局.退出码 == 0) << 读测试文件(目录.子路径("service.log"));
    服务_.reset();
  }

  // One forced background check of installation n, with its own roots: the exit code and
  // the target of the policy it stored.
  std::pair<std::uint32_t, std::string> 运行安装(int n) {
    const auto 根 = 目录.子路径("installation-" + std::to_string(n));
    const auto 结果 = 运行更新程序({"--background-check", "--force-check", "--program-root", (根 / "program").string(),
                                    "--state-root", (根 / "state").string()});
    版本策略 策略;
    解析版本策略(读测试文件(根 / "state/state/current-policy.json"), &策略);
    // Stands in for the launcher, which starts a prepared release and confirms it; until
    // then the installation would not take another one.
    if (std::filesystem::exists(根 / "state/state.txt")) {
      auto 状态 = 读状态文件(根 / "state/state.txt");
      if (!状态.pendingRelease.empty()) {
        状态.activeRelease = 状态.lastGoodRelease = 状态.pendingRelease;
        状态.pendingRelease.clear();
        ++状态.generation;
        写状态文件(根 / "state", 状态);
      }
    }
    return {结果.退出码, 策略.targetReleaseId};
  }
  // Every installation once: those whose policy names 目标.
  std::set<int> 运行全部(const std::string& 目标) {
    std::set<int> 得到目标;
    for (int n = 0; n < 安装数; ++n) {
      const auto [退出码, 已得] = 运行安装(n);
      EXPECT_EQ(退出码, 0u) << n;
      if (已得 == 目标) 得到目标.insert(n);
    }
    return 得到目标;
  }

  // A request straight to the service: the status (0 without an answer) and body.
  std::pair<int, std::string> 请求(const std::string& 方法, const std::string& 路径, const std::string& 正文,
                                   const httplib::Headers& 头 = {}) {
    httplib::SSLClient 客户端("localhost", TALLYBELL_SERVICE_TEST_PORT);
    客户端.set_ca_cert_path(目录.子路径("tls/ca.pem").c_str());
    客户端.enable_server_certificate_verification(true);
    客户端.set_connection_timeout(2);
    httplib::Result 结果 = 方法 == "GET" ? 客户端.Get(路径.c_str(), 头) : 客户端.Post(路径.c_str(), 头, 正文, "application/json");
    return 结果 ? std::make_pair(结果->status, 结果->body) : std::make_pair(0, std::string());
  }
  // Polls `rollout status` until it shows 文本; the last output either way.
  std::string 等待状态(const std::string& 文本) {
    std::string 输出;
    for (int i = 0; i < 100 && 输出.find(文本) == std::string::npos; ++i) {
      if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
      输出 = 命令({"rollout", "status"}).输出;
    }
    return 输出;
  }

  测试临时目录 目录;
  私有锁命名空间 锁空间_;
  环境变量保护 环境_;
  std::string 数据库_;
  std::unique_ptr<子进程> 服务_;
  std::uint64_t 时钟_ = 1796000000;
};

// Operator commands first (no rollout yet), then requests to the running service.
TEST_F(更新服务, 命令的退出码_错误输入各得明确状态且不存任何东西) {
  struct 命令情形 {
    std::vector<std::string> 参数;
    std::uint32_t 退出码;
  } 命令表[] = {
      {{"frobnicate"}, 2},
      {{"rollout", "set", "--percent", "101"}, 2},
      {{"rollout", "start", "--release", "1.0", "--steps", "5,2"}, 2},
      {{"rollout", "pause"}, 3},  // no rollout yet
      {{"rollout", "start", "--release", "9.9"}, 3},
      {{"init", "--public-url", "https://localhost:1"}, 3},  // already initialised
      {{"release", "add", 目录.子路径("content/releases").string(), "--base-url", "https://localhost:1"}, 3},
      {{"prune", "--older-than-days", "30"}, 0},
  };
  for (const auto& 项 : 命令表) EXPECT_EQ(命令(项.参数).退出码, 项.退出码) << 项.参数[0] << " " << 项.参数.back();
  EXPECT_EQ(运行程序(TALLYBELL_SERVICE_PROGRAM, {"audit", "--db", 目录.子路径("none.db").string()}).退出码, 4u);
  ASSERT_EQ(命令({"rollout", "start", "--release", "1.0", "--percent", "100"}).退出码, 0u);
  启动服务();
  const std::string 好 = 解析正文("0f8fad5b-d9cb-469f-a165-70867728950e");
  const auto 改 = [&](const std::string& 原, const std::string& 新) { return std::string(好).replace(好.find(原), 原.size(), 新); };
  struct 情形 {
    const char* 名称;
    std::string 方法, 路径, 正文;
    httplib::Headers 头;
    int 状态;
  } 表[] = {
      {"valid resolve", "POST", "/update/v1/resolve", 好, {}, 200},
      {"malformed JSON", "POST", "/update/v1/resolve", "{\"installationId\":", {}, 400},
      {"repeated member", "POST", "/update/v1/resolve", "{\"os\":\"a\"," + 好.substr(1), {}, 400},
      {"missing os", "POST", "/update/v1/resolve", 改("\"os\":\"Linux\",", ""), {}, 400},
      {"bad installation id", "POST", "/update/v1/resolve", 解析正文("0F8FAD5B-D9CB-469F-A165-70867728950E"), {}, 400},
      {"unknown product", "POST", "/update/v1/resolve", 改("\"tallybell\"", "\"other\""), {}, 404},
      {"oversized body", "POST", "/update/v1/resolve", std::string(70000, ' ') + 好, {}, 413},
      {"wrong method", "GET", "/update/v1/resolve", "", {}, 405},
      {"unknown path", "POST", "/update/v1/other", 好, {}, 404},
      {"result without key", "POST", "/update/v1/results", "{}", {}, 400},
      {"result with a bad key", "POST", "/update/v1/results", "{}", {{"Idempotency-Key", "a/b"}}, 400},
      // Accepted into the poison table, so the client stops sending it, but never counted.
      {"poison result", "POST", "/update/v1/results", "{\"eventId\":\"p\"}", {{"Idempotency-Key", "p"}}, 202},
  };
  for (const auto& 项 : 表) EXPECT_EQ(请求(项.方法, 项.路径, 项.正文, 项.头).first, 项.状态) << 项.名称;
  EXPECT_EQ(请求("POST", "/update/v1/resolve", 好).second.find("manifestSignature"), std::string::npos);
  停止服务();
  std::string 错误;
  auto 存储 = 服务::打开服务存储(数据库_, 服务::服务时钟(), false, &错误);
  std::uint64_t 事件 = 0, 隔离 = 0;
  ASSERT_TRUE(存储 && 存储->事件数(&事件, &隔离)) << 错误;
  EXPECT_EQ(事件, 0u);
  EXPECT_EQ(隔离, 1u);
}

TEST_F(更新服务, 全新安装_推出0到50到100_回滚) {
  启动服务();
  ASSERT_EQ(命令({"rollout", "start", "--release", "1.0", "--percent", "100"}).退出码, 0u);
  EXPECT_EQ(运行全部("1.0").size(), 安装数);

  ASSERT_EQ(命令({"rollout", "start", "--release", "2.0", "--percent", "0"}).退出码, 0u);
  EXPECT_TRUE(运行全部("2.0").empty());
  ASSERT_EQ(命令({"rollout", "set", "--percent", "50"}).退出码, 0u);
  const auto 一半 = 运行全部("2.0");
  EXPECT_GT(一半.size(), 0u);
  EXPECT_LT(一半.size(), 安装数);

  // Pausing and resuming keep each installation's release (the month-long policy run);
  // several instances on one database see every change (the cluster run).
  ASSERT_EQ(命令({"rollout", "set", "--percent", "100"}).退出码, 0u);
  EXPECT_EQ(运行全部("2.0").size(), 安装数);
  const std::string 策略 = 读测试文件(目录.子路径("installation-0/state/state/current-policy.json"));
  EXPECT_NE(策略.find("\"manifestSignature\":\"" + 签名文本 + "\""), std::string::npos) << 策略;

  ASSERT_EQ(命令({"rollout", "rollback"}).退出码, 0u);
  EXPECT_EQ(运行全部("1.0").size(), 安装数);
}

TEST_F(更新服务, 失败和沉默使推出自动停止) {
  启动服务();
  // Plans advancing with the clock are checked by the month-long policy run.
  // Every installation fails to download 3.0; the third failure stops the rollout.
  ASSERT_EQ(命令({"rollout", "start", "--release", "3.0", "--percent", "100", "--min-results", "3", "--max-failures",
                  "3"}).退出码, 0u);
  for (int n = 0; n < 3; ++n) EXPECT_NE(运行安装(n).first, 0u);
  auto 状态 = 等待状态("halted because");
  EXPECT_NE(状态.find("halted because 3 failed results"), std::string::npos) << 状态;
  EXPECT_NE(状态.find("download"), std::string::npos) << 状态;

  // Installations that were offered 2.0 and never report back stop the next rollout.
  ASSERT_EQ(命令({"rollout", "start", "--release", "2.0", "--percent", "100", "--silent-after", "600",
                  "--min-silent", "4", "--max-silent-percent", "50"}).退出码, 0u);
  EXPECT_EQ(运行安装(0).first, 0u);  // one that reports
  for (const char* 标识 : {"00000000-0000-0000-0000-000000000001", "00000000-0000-0000-0000-000000000002",
                           "00000000-0000-0000-0000-000000000003"}) {
    EXPECT_EQ(请求("POST", "/update/v1/resolve", 解析正文(标识)).first, 200);
  }
  设置时钟(时钟_ + 601);
  状态 = 等待状态("sent no result");
  EXPECT_NE(状态.find("3 of 4 installations offered"), std::string::npos) << 状态;
  EXPECT_NE(状态.find("silent 00000000-0000-0000-0000-000000000002"), std::string::npos) << 状态;
}

// The policy invariants the update program relies on, over a month of check windows with
// operator changes, plans advancing, quarantined targets and two instances whose clocks
// differ by ten seconds: a version never goes down, one version always has one content,
// and a check at or after checkAfter always gets a newer version.
struct 安装 {
  std::string 标识;
  std::vector<std::string> 隔离;
  std::uint64_t 版本 = 0, 下次检查 = 0;
  std::string 内容;
};

TEST(策略不变式, 一个月的检查窗口) {
  using namespace 服务;
  测试临时目录 目录;
  std::string 错误;
  auto 存储 = 打开SQLite存储(目录.子路径("db").string(), &错误);
  服务设置 设置{3600, "https://localhost:1"};
  ASSERT_TRUE(存储 && 存储->准备(&设置, &错误)) << 错误;
  const std::vector<std::string> 发布 = {"1.0", "2.0", "3.0", "4.0"};
  for (const auto& 标识 : 发布) {
    ASSERT_EQ(存储->添加发布({标识, "https://localhost:1/" + 标识, std::string(64, 'a'), "", 0}, {}), 添加结果::已添加);
  }
  std::mt19937_64 随机(20261207);
  std::uint64_t 现在 = 1796000000;
  auto 修改 = [&](推出记录 推出) {
    服务快照 快照;
    ASSERT_TRUE(存储->读取快照(&快照));
    ASSERT_TRUE(存储->保存推出(&推出, {现在, "test", "change"}, 快照.revision));
  };
  推出记录 首个 = 默认推出("tallybell", "1.0", "", 现在);
  首个.steps.clear();
  首个.percent = 100;
  修改(首个);

  std::vector<安装> 安装表(60);
  for (auto& 项 : 安装表) {
    char 文本[37];
    std::snprintf(文本, sizeof 文本, "%08llx-0000-4000-8000-%012llx", static_cast<unsigned long long>(随机() >> 32),
                  static_cast<unsigned long long>(随机() >> 16));
    项.标识 = 文本;
  }
  const std::int64_t 偏差[] = {-5, 5};
  std::size_t 下个发布 = 1, 检查数 = 0, 新版本数 = 0;
  for (const std::uint64_t 结束 = 现在 + 30 * 86400; 现在 < 结束; 现在 += 1 + 随机() % 300) {
    服务快照 快照;
    ASSERT_TRUE(存储->读取快照(&快照));
    推出记录 当前 = 快照.rollouts.at("tallybell");
    switch (随机() % 400) {
      case 0: {  // a new rollout with a fast plan
        推出记录 新 = 默认推出("tallybell", 发布[下个发布++ % 发布.size()], 当前.target, 现在);
        新.stepSeconds = 1800 + 随机() % 20000;
        新.limits.maxSilentPercent = 0;
        修改(新);
        break;
      }
      case 1: 当前.state = 推出状态::已暂停; 修改(当前); break;
      case 2: 当前.state = 推出状态::进行中; 修改(当前); break;
      case 3: if (!当前.base.empty()) { 当前.state = 推出状态::已回滚; 修改(当前); } break;
      case 4: 当前.percent = std::min<std::uint32_t>(100, 当前.percent + 10); 修改(当前); break;
      default: break;
    }
    评估推出一次(*存储, 现在);
    ASSERT_TRUE(存储->读取快照(&快照));
    for (auto& 项 : 安装表) {
      const bool 到期 = 现在 >= 项.下次检查;
      if (!到期 && 随机() % 500 != 0) continue;  // now and then an operator forces a check
      if (随机() % 40 == 0) 项.隔离.push_back(快照.rollouts.at("tallybell").target);
      // Regular checks land on either instance; forced ones on the first.
      const std::uint64_t 时刻 = 现在 + (到期 ? 偏差[随机() % 2] : 0);
      const auto 结果 = 签发策略(快照, {项.标识, "tallybell", "", "", 项.隔离}, 时刻);
      ASSERT_EQ(结果.status, 200u) << 结果.body;
      版本策略 策略;
      ASSERT_TRUE(解析版本策略(结果.body, &策略)) << 结果.body;
      ++检查数;
      ASSERT_GE(策略.policyVersion, 项.版本) << 项.标识 << " at " << 现在;
      if (策略.policyVersion == 项.版本) {
        ASSERT_FALSE(到期) << "a due check got no newer version";
        ASSERT_EQ(策略内容标识(策略), 项.内容);
        continue;
      }
      ++新版本数;
      项.版本 = 策略.policyVersion;
      项.内容 = 策略内容标识(策略);
      // As the update program reads it (100 ns units since 1601), in Unix seconds.
      ASSERT_TRUE(解析检查时间(策略.checkAfter, &项.下次检查)) << 策略.checkAfter;
      项.下次检查 = 项.下次检查 / 10000000 - 11644473600ULL;
      ASSERT_GT(项.下次检查, 现在);
    }
  }
  EXPECT_GT(检查数, 30u * 24 * 安装表.size() / 2);
  EXPECT_GT(下个发布, 3u);
  EXPECT_LT(新版本数, 检查数);
}

}  // namespace
}  // namespace tallybell::测试
