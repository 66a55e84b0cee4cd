// Supervised recovery of a quarantined target on real release directories, a state root and
// the diagnostic channel the application creates; and the choice of the release to start.
#include "coordinator/quarantine_recovery.h"

#include <gtest/gtest.h>

#include <functional>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/diagnostic_channel_fixture.h"
#include "support/release_builder.h"
#include "support/state_files.h"
#include "support/temp_dir.h"

namespace tallybell {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using namespace 测试;

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
    启动候选位置 位置;
    bool 有;  // false: nothing to start
  } 用例[] = {
      {全部, {}, 启动候选位置::pendingRelease, true},
      {全部, {L"p"}, 启动候选位置::activeRelease, true},
      {{L"g", L"r"}, {}, 启动候选位置::lastGoodRelease, true},
      {{L"g", L"r", L"/old/app"}, {L"g"}, 启动候选位置::rescueRelease, true},
      {全部, {L"p", L"a", L"g", L"r", L"/old/app"}, 启动候选位置::legacyInstallPath, true},
      {{}, {}, 启动候选位置::pendingRelease, false},
  };
  for (const auto& 项 : 用例) {
    状态.quarantined = 项.隔离;
    const auto 候选 = 选择可启动版本(状态, [&](const std::wstring& x) { return 项.可运行.count(x) > 0; });
    ASSERT_EQ(候选.has_value(), 项.有);
    if (项.有) { EXPECT_EQ(候选->位置, 项.位置); }
  }
}

}  // namespace
}  // namespace tallybell
