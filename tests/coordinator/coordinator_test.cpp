// The update coordinator on an offline fixture and real state files: policies taken and
// ignored, back-off, the state and identity files it must not lose; supervised recovery of
// a quarantined target on real release directories with the diagnostic channel the
// application creates; and the choice of the release to start.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <regex>
#include <set>

#include <nlohmann/json.hpp>

#include "common/time_text.h"
#include "coordinator/coordinator.h"
#include "coordinator/installation_identity.h"
#include "coordinator/quarantine_recovery.h"
#include "release/offline_preparation.h"
#include "support/diagnostic_channel_fixture.h"
#include "support/fault_injection.h"
#include "support/file_helpers.h"
#include "support/lock_namespace.h"
#include "support/release_builder.h"
#include "support/state_files.h"
#include "support/temp_dir.h"
#include "support/update_fixture.h"
#include "transport/offline_fixture.h"

namespace tallybell {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using namespace 测试;

const 发布内容 版本文件 = {{"Tallybell.exe", "exe-2"}, {"lib/core.dll", "core-2"}};

class 更新协调器测试 : public ::testing::Test {
 protected:
  // Named locks of this test stay apart from tests running at the same time.
  私有锁命名空间 锁空间_;

  void SetUp() override {
    写入更新夹具(夹具目录(), 策略_, 版本文件);
    配置_.programRoot = 目录_.宽路径("program");
    配置_.stateRoot = 目录_.宽路径("state");
    配置_.cacheRoot = 目录_.宽路径("cache");
    配置_.resolveUrls = {L"https://updates.tallybell.example/update/v1/resolve"};
    配置_.clock = [this] { return 现在_; };
    配置_.diagnosticId = "coordinator-test";
  }
  fs::path 夹具目录() const { return 目录_.子路径("fixture"); }
  fs::path 状态根() const { return 目录_.子路径("state"); }
  void 改写策略(unsigned long long 版本, const std::string& 分配 = "assign-1", const std::string& 目标 = "r2") {
    策略_.policyVersion = 版本;
    策略_.assignmentId = 分配;
    策略_.targetReleaseId = 目标;
    写入更新夹具(夹具目录(), 策略_, 版本文件);
  }
  std::uint32_t 运行(std::wstring* 错误 = nullptr) { return 运行更新协调器(配置_, &夹具_, &夹具_, &结果_, 错误); }
  本地版本状态 状态() const { return 读状态文件(状态根() / "state.txt"); }

  测试临时目录 目录_;
  离线更新夹具传输 夹具_{目录_.宽路径("fixture")};
  夹具策略 策略_;
  更新协调器配置 配置_;
  更新协调器结果 结果_;
  std::uint64_t 现在_ = 134410248000000000ULL;  // 2026-12-06T10:00:00Z
};

TEST_F(更新协调器测试, 旧策略被忽略而相同版本不同内容为3013) {
  配置_.forceCheck = true;
  改写策略(5);
  ASSERT_EQ(运行(), 0u);
  const std::string 已存策略 = 读测试文件(状态根() / "state" / "current-policy.json");
  const std::string 已存状态 = 读测试文件(状态根() / "state.txt");
  改写策略(4);
  EXPECT_EQ(运行(), 0u);
  EXPECT_TRUE(结果_.olderPolicyIgnored);
  EXPECT_EQ(读测试文件(状态根() / "state" / "current-policy.json"), 已存策略);
  EXPECT_EQ(读测试文件(状态根() / "state.txt"), 已存状态);

  改写策略(5, "another");
  EXPECT_EQ(运行(), 3013u);
  EXPECT_EQ(读测试文件(状态根() / "state.txt"), 已存状态);
}

TEST_F(更新协调器测试, 清单缺失时3015并逐次退避) {
  fs::remove(夹具目录() / "manifest.json");
  配置_.forceCheck = true;
  const std::uint64_t 分钟 = 600000000ULL;
  const std::pair<std::uint64_t, std::uint64_t> 预期[] = {{1, 5}, {2, 15}, {3, 60}, {4, 60}};
  for (const auto& [次数, 延迟] : 预期) {
    现在_ += 分钟;
    EXPECT_EQ(运行(), 3015u);
    const auto 当前 = 状态();
    EXPECT_EQ(当前.updateFailureCount, 次数);
    EXPECT_EQ(当前.nextCheckAt, 格式化UTC时间(现在_ + 延迟 * 分钟));
  }

  // A newer policy resets the count.
  改写策略(2);
  EXPECT_EQ(运行(), 0u);
  EXPECT_EQ(状态().updateFailureCount, 0u);
}

// A target the parse accepts but no release folder may be named is an invalid policy.
TEST_F(更新协调器测试, 不能作目录名的目标被当作无效策略) {
  改写策略(1, "assign-1", "..");
  EXPECT_EQ(运行(), 3012u);
  EXPECT_FALSE(fs::exists(状态根() / "state" / "current-policy.json"));
  EXPECT_EQ(状态().updateFailureCount, 1u);
}

// An offline preparation that commits between the due-time gate and the lock (here from
// the clock the gate consults) must survive the policy bookkeeping that follows.
TEST_F(更新协调器测试, 闸门与加锁之间提交的离线准备不被覆盖) {
  写入发布目录(目录_.子路径("program/releases/r1"), "r1", 版本文件);
  写入发布目录(夹具目录() / "releases" / "r3", "r3", 版本文件);
  改写策略(1, "assign-1", "r1");
  本地版本状态 初始;
  初始.generation = 4;
  初始.activeRelease = 初始.lastGoodRelease = L"r1";
  初始.nextCheckAt = "2026-12-06T09:00:00Z";  // due, so the gate reads the clock
  写状态文件(状态根(), 初始);
  std::uint32_t 准备代码 = 99;
  配置_.clock = [&] {
    if (准备代码 == 99) {
      离线准备请求 请求;
      请求.fixtureDir = 夹具目录().wstring();
      请求.programRoot = 目录_.宽路径("program");
      请求.stateRoot = 状态根().wstring();
      请求.releaseId = L"r3";
      准备代码 = 准备离线版本(请求, nullptr);
    }
    return 现在_;
  };
  ASSERT_EQ(运行(), 0u);
  ASSERT_EQ(准备代码, 0u);
  const auto 结果 = 状态();
  EXPECT_EQ(结果.pendingRelease, L"r3");
  EXPECT_EQ(结果.policyVersion, 1u);
  EXPECT_EQ(结果.generation, 6u);
}

// A state file that exists but cannot be read at the moment must not be rebuilt: the
// rebuild would forget the installed releases for good. A corrupt one is rebuilt.
TEST_F(更新协调器测试, 读不出的状态文件不被重建而损坏的被重建) {
  写入发布目录(目录_.子路径("program/releases/r1"), "r1", 版本文件);
  本地版本状态 初始;
  初始.generation = 4;
  初始.activeRelease = 初始.lastGoodRelease = L"r1";
  写状态文件(状态根(), 初始);
  const std::string 原文 = 读测试文件(状态根() / "state.txt");
  // Forced, so the due-time gate (which only reads, and may fail to) is passed by; the first
  // open and the first read are then those of the load under the lock.
  配置_.forceCheck = true;
  for (const char* 调用 : {"打开", "读取"}) {
    SCOPED_TRACE(调用);
    {
      文件故障注入 故障{std::string(调用)};
      EXPECT_EQ(运行(), 3006u);
      EXPECT_TRUE(故障.已注入());
    }
    EXPECT_FALSE(结果_.releasePrepared);
    EXPECT_EQ(读测试文件(状态根() / "state.txt"), 原文);
    EXPECT_FALSE(fs::exists(状态根() / "state.txt.bak"));
  }
  ASSERT_EQ(运行(), 0u);
  EXPECT_EQ(状态().activeRelease, L"r1");
  EXPECT_EQ(状态().pendingRelease, L"r2");

  写测试文件(状态根() / "state.txt", "stateVersion=2\ngarbage");
  fs::remove(状态根() / "state.txt.bak");
  ASSERT_EQ(运行(), 0u);
  EXPECT_TRUE(状态().activeRelease.empty());
  EXPECT_EQ(状态().pendingRelease, L"r2");
}

const std::regex 小写GUID形状("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}");

// Created once and kept; content that is not a lowercase GUID line is replaced by a new
// identity and kept aside in the backup. A failed write hands out nothing and leaves both
// files; an identity that exists but cannot be read now is kept, since a new one would make
// the service count this machine twice.
TEST(设备安装标识, 首次创建后保持不变而无效内容被替换且失败时文件不变) {
  测试临时目录 目录;
  const fs::path 标识文件 = 目录.子路径("state/installation-id.txt"), 备份文件 = 目录.子路径("state/installation-id.txt.bak");
  std::string 标识;
  ASSERT_TRUE(取得设备安装标识(目录.宽路径(), &标识));
  EXPECT_TRUE(std::regex_match(标识, 小写GUID形状)) << 标识;
  EXPECT_EQ(读测试文件(标识文件), 标识 + "\n");
  EXPECT_FALSE(fs::exists(备份文件));
  const std::string 原行 = 标识 + "\n";
  const struct {
    std::string 内容;
    const char* 故障;  // the file call that fails, if any
  } 用例表[] = {
      {原行, nullptr},
      {"0123ABCD-0000-FFFF-9999-ABCDEFABCDEF\n", nullptr},                      // upper case
      {"\xEF\xBB\xBF" "0123abcd-0000-ffff-9999-abcdefabcdef\n", nullptr},  // byte order mark
      {"", nullptr},
      {"invalid\n", "写入"}, {"invalid\n", "刷新"}, {"invalid\n", "替换并备份"}, {原行, "打开"}, {原行, "读取"},
  };
  for (const auto& 项 : 用例表) {
    SCOPED_TRACE(项.故障 ? 项.故障 : 项.内容);
    写测试文件(标识文件, 项.内容);
    写测试文件(备份文件, "older\n");
    std::string 新标识 = "untouched";
    std::optional<文件故障注入> 故障;
    if (项.故障) 故障.emplace(std::string(项.故障));
    EXPECT_EQ(取得设备安装标识(目录.宽路径(), &新标识), !项.故障);
    EXPECT_EQ(故障 && 故障->已注入(), 项.故障 != nullptr);
    故障.reset();
    const bool 替换 = !项.故障 && 项.内容 != 原行;
    EXPECT_EQ(新标识, 项.故障 ? "untouched" : 替换 ? 新标识 : 标识);
    EXPECT_TRUE(项.故障 || std::regex_match(新标识, 小写GUID形状)) << 新标识;
    EXPECT_EQ(读测试文件(标识文件), 替换 ? 新标识 + "\n" : 项.内容);
    EXPECT_EQ(读测试文件(备份文件), 替换 ? 项.内容 : "older\n");
    EXPECT_EQ(目录内容(目录.子路径("state")), (std::vector<std::string>{"installation-id.txt", "installation-id.txt.bak"}));
  }
}

class 隔离恢复 : public ::testing::Test {
 protected:
  隔离恢复() {
    配置_.programRoot = 目录_.宽路径("program");
    配置_.stateRoot = 目录_.宽路径("state");
    配置_.recoverUnusableState = true;
    配置_.diagnosticId = "quarantine-test";
    策略_.policyVersion = 5;
    策略_.targetReleaseId = "2.4.0";
    策略_.manifestHash = 写入发布目录(发布路径(), "2.4.0", {{"Tallybell.exe", "exe"}, {"lib/core.dll", "core"}});
    状态_.generation = 4;
    状态_.quarantined = {L"2.4.0"};
  }
  void SetUp() override { ASSERT_TRUE(通道_.已创建()); }

  fs::path 发布路径(const std::string& 名称 = {}) const { return 目录_.子路径("program/releases/2.4.0/" + 名称); }
  std::wstring 目标目录() const { return 目录_.宽路径("program/releases/2.4.0"); }
  std::string 指纹() const { return "recovery-v1|2.4.0|" + 策略_.manifestHash; }
  // The lines of the channel (timestamp, task, stage, code, fields) as "stage code" and
  // their fields.
  std::vector<std::pair<std::string, json>> 诊断行() const {
    static const std::regex 行形状(
        "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} task=quarantine-test stage=(\\S+ code=\\d+) (.*)\r\n");
    std::vector<std::pair<std::string, json>> 行;
    const std::string 文本 = 通道_.文本();
    for (std::sregex_iterator 项(文本.begin(), 文本.end(), 行形状), 尾; 项 != 尾; ++项) {
      行.emplace_back((*项)[1], json::parse((*项)[2].str()));
    }
    return 行;
  }
  std::string 主文件文本() const { return 读测试文件(目录_.子路径("state/state.txt")); }
  bool 提交(本地版本状态* 调用方状态, std::wstring* 错误) {
    *错误 = L"stale";
    本地版本状态路径 路径 = 取本地版本状态路径(配置_.stateRoot);
    return 提交隔离恢复(配置_, 策略_, L"2.4.0", 目标目录(), &路径, 调用方状态, 错误);
  }

  测试临时目录 目录_;
  测试诊断通道 通道_{"quarantine-test"};
  更新协调器配置 配置_;
  版本策略 策略_;
  本地版本状态 状态_;
};

TEST_F(隔离恢复, 判定原因按顺序取第一个成立的) {
  const std::string 有效记录 = "{\"quarantineRecoveryFingerprints\":[\"other\",\"" + 指纹() + "\"]}";
  const struct {
    std::function<void(更新协调器配置&, 本地版本状态&)> 修改;
    const char* 原因;
    bool 可恢复;
  } 用例[] = {
      {[](auto& 配置, auto& 状态) { 配置.recoverUnusableState = false; 状态.pendingRelease = L"x"; },
       "recovery-not-enabled", false},
      {[](auto&, auto& 状态) { 状态.attemptingRelease = L"2.3.0"; 状态.pendingRelease = L"2.3.1"; },
       "attempting-release-exists", false},
      {[](auto&, auto& 状态) { 状态.pendingRelease = L"2.3.1"; 状态.quarantined.clear(); },
       "pending-release-exists", false},
      {[](auto&, auto& 状态) { 状态.quarantined = {L"2.4.0-beta", L"2.4.00"}; }, "target-not-quarantined", false},
      {[](auto&, auto& 状态) { 状态.preservedFields = "{\"quarantineRecoveryFingerprints\":[1]}"; },
       "recovery-record-invalid", false},
      {[&](auto&, auto& 状态) { 状态.preservedFields = 有效记录; }, "eligible-retry-after-previous-attempt", true},
  };
  for (const auto& 项 : 用例) {
    SCOPED_TRACE(项.原因);
    更新协调器配置 配置 = 配置_;
    本地版本状态 状态 = 状态_;
    项.修改(配置, 状态);
    const bool 可恢复 = 判定隔离恢复资格(配置, 状态, 策略_, L"2.4.0");
    EXPECT_EQ(可恢复, 项.可恢复);
    记录恢复判定(配置, 状态, 策略_, 可恢复);
    const auto 行 = 诊断行();
    ASSERT_FALSE(行.empty());
    EXPECT_EQ(行.back().first, 项.可恢复 ? "quarantine-decision code=0" : "quarantine-decision code=3003");
    EXPECT_EQ(行.back().second.at("reason"), 项.原因);
    EXPECT_EQ(行.back().second.at("eligible"), 项.可恢复);
  }
}

TEST_F(隔离恢复, 提交读较新的状态并解除隔离为待试运行) {
  状态_.activeRelease = L"2.3.0";
  状态_.quarantined = {L"2.0.0", L"2.4.0", L"2.1.0"};
  状态_.policyVersion = 5;
  本地版本状态 已过时 = 状态_;
  已过时.pendingRelease = L"2.3.5";  // would refuse the recovery
  状态_.generation = 9;
  写状态文件(目录_.子路径("state"), 已过时);
  写状态文件(目录_.子路径("state"), 状态_, "state.txt.bak");
  本地版本状态 调用方;  // stale in memory: the files decide
  std::wstring 错误;
  ASSERT_TRUE(提交(&调用方, &错误));
  EXPECT_EQ(错误, L"");
  本地版本状态 期望 = 状态_;
  期望.generation = 10;
  期望.pendingRelease = L"2.4.0";
  期望.quarantined = {L"2.0.0", L"2.1.0"};
  期望.preservedFields = "{\"quarantineRecoveryFingerprints\":[\"" + 指纹() + "\"]}";
  EXPECT_EQ(主文件文本(), 序列化本地版本状态(期望));
  EXPECT_EQ(序列化本地版本状态(调用方), 序列化本地版本状态(期望));
  const auto 行 = 诊断行();
  ASSERT_EQ(行.size(), 1u);
  EXPECT_EQ(行[0].first, "quarantine-commit code=0");
  EXPECT_EQ(行[0].second.at("fingerprint"), 指纹());
}

// The target directory must hold the release the policy names, intact; a commit that
// finds it changed writes nothing.
TEST_F(隔离恢复, 目标目录不是策略指定的完好版本时拒绝提交) {
  EXPECT_TRUE(校验目标版本(目标目录(), 策略_));
  版本策略 其它 = 策略_;
  其它.manifestHash = std::string(64, 'a');
  EXPECT_FALSE(校验目标版本(目标目录(), 其它));
  // A directory holding another release, even a complete one, is not the target.
  其它 = 策略_;
  其它.targetReleaseId = "2.3.0";
  EXPECT_FALSE(校验目标版本(目标目录(), 其它));

  写状态文件(目录_.子路径("state"), 状态_);
  写测试文件(发布路径("lib/core.dll"), "tampered");
  const std::string 之前 = 主文件文本();
  本地版本状态 调用方 = 状态_;
  std::wstring 错误;
  EXPECT_FALSE(提交(&调用方, &错误));
  EXPECT_EQ(序列化本地版本状态(调用方), 序列化本地版本状态(状态_));
  EXPECT_EQ(主文件文本(), 之前);
  const auto 行 = 诊断行();
  ASSERT_EQ(行.size(), 1u);
  EXPECT_EQ(行[0].first, "quarantine-decision code=3003");
  EXPECT_EQ(行[0].second.at("reason"), "conditions-changed-or-integrity-failed");
}

TEST(选择可启动版本, 按顺序取第一个未隔离且可运行的候选) {
  本地版本状态 状态;
  状态.pendingRelease = L"p";
  状态.activeRelease = L"a";
  状态.lastGoodRelease = L"g";
  状态.rescueRelease = L"r";
  状态.legacyInstallPath = L"/old/app";
  const std::set<std::wstring> 全部 = {L"p", L"a", L"g", L"r", L"/old/app"};
  const struct {
    std::set<std::wstring> 可运行;
    std::vector<std::wstring> 隔离;
    std::optional<启动候选位置> 位置;  // none: nothing to start
  } 用例[] = {
      {全部, {}, 启动候选位置::pendingRelease},
      {全部, {L"p"}, 启动候选位置::activeRelease},
      {{L"g", L"r"}, {}, 启动候选位置::lastGoodRelease},
      {{L"g", L"r", L"/old/app"}, {L"g"}, 启动候选位置::rescueRelease},
      {全部, {L"p", L"a", L"g", L"r", L"/old/app"}, 启动候选位置::legacyInstallPath},
      {{}, {}, std::nullopt},
  };
  for (const auto& 项 : 用例) {
    状态.quarantined = 项.隔离;
    const auto 候选 = 选择可启动版本(状态, [&](const std::wstring& x) { return 项.可运行.count(x) > 0; });
    EXPECT_TRUE(候选 ? 项.位置 == 候选->位置 : !项.位置) << 项.隔离.size() << " quarantined";
  }
}

}  // namespace
}  // namespace tallybell
