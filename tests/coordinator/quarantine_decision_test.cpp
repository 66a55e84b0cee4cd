#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "coordinator/quarantine_recovery.h"
#include "coordinator/quarantine_test_support.h"
#include "platform/paths.h"

namespace tallybell {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using 测试::写测试文件;

class 隔离恢复判定 : public 测试::隔离恢复测试 {
 protected:
  // Decides about the target, writes the decision line and returns it.
  测试::诊断记录 判定(bool* 可恢复 = nullptr) {
    const bool 结果 = 判定隔离恢复资格(配置_, 状态_, 策略_, L"2.4.0");
    if (可恢复 != nullptr) *可恢复 = 结果;
    记录恢复判定(配置_, 状态_, 策略_, 结果);
    const auto 行 = 诊断行();
    EXPECT_FALSE(行.empty());
    return 行.empty() ? 测试::诊断记录{} : 行.back();
  }
  // A refused decision: code 3003 with the reason given.
  json 拒绝(const std::string& 原因) {
    bool 可恢复 = true;
    const 测试::诊断记录 行 = 判定(&可恢复);
    EXPECT_FALSE(可恢复) << 原因;
    EXPECT_EQ(行.阶段, "quarantine-decision");
    EXPECT_EQ(行.代码, 3003u);
    const json 字段 = 行.字段();
    EXPECT_EQ(字段.at("reason"), 原因);
    EXPECT_EQ(字段.at("eligible"), false);
    return 字段;
  }
};

TEST_F(隔离恢复判定, 原因按顺序取第一个成立的) {
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
      {[](auto&, auto& 状态) { 状态.quarantined = {L"2.4.0-beta", L"2.4.00"}; },
       "target-not-quarantined", false},
      {[](auto&, auto& 状态) { 状态.preservedFields = "{\"quarantineRecoveryFingerprints\":[1]}"; },
       "recovery-record-invalid", false},
      {[&](auto&, auto& 状态) { 状态.preservedFields = 有效记录; },
       "eligible-retry-after-previous-attempt", true},
  };
  for (const auto& 项 : 用例) {
    更新协调器配置 原配置 = 配置_;
    本地版本状态 原状态 = 状态_;
    项.修改(配置_, 状态_);
    bool 可恢复 = !项.可恢复;
    const 测试::诊断记录 行 = 判定(&可恢复);
    EXPECT_EQ(可恢复, 项.可恢复) << 项.原因;
    EXPECT_EQ(行.代码, 项.可恢复 ? 0u : 3003u) << 项.原因;
    const json 字段 = 行.字段();
    EXPECT_EQ(字段.at("reason"), 项.原因);
    EXPECT_EQ(字段.at("eligible"), 项.可恢复);
    EXPECT_EQ(字段.at("recoverUnusableState"), 配置_.recoverUnusableState);
    配置_ = 原配置;
    状态_ = 原状态;
  }
}

TEST(选择可启动版本, 按顺序取第一个未隔离且可运行的候选) {
  本地版本状态 状态;
  状态.pendingRelease = L"p";
  状态.activeRelease = L"a";
  状态.lastGoodRelease = L"g";
  状态.rescueRelease = L"r";
  状态.legacyInstallPath = L"/old/app";
  const struct {
    std::set<std::wstring> 可运行;
    std::vector<std::wstring> 隔离;
    std::wstring 期望;
    启动候选位置 位置;
  } 用例[] = {
      {{L"p", L"a", L"g", L"r", L"/old/app"}, {}, L"p", 启动候选位置::pendingRelease},
      {{L"p", L"a", L"g", L"r", L"/old/app"}, {L"p"}, L"a", 启动候选位置::activeRelease},
      {{L"g", L"r"}, {}, L"g", 启动候选位置::lastGoodRelease},
      {{L"g", L"r", L"/old/app"}, {L"g"}, L"r", 启动候选位置::rescueRelease},
      {{L"p", L"a", L"g", L"r", L"/old/app"}, {L"p", L"a", L"g", L"r", L"/old/app"}, L"/old/app",
       启动候选位置::legacyInstallPath},
  };
  for (const auto& 项 : 用例) {
    状态.quarantined = 项.隔离;
    const auto 候选 = 选择可启动版本(状态, [&](const std::wstring& x) { return 项.可运行.count(x) > 0; });
    ASSERT_TRUE(候选.has_value());
    EXPECT_EQ(候选->文本, 项.期望);
    EXPECT_EQ(候选->位置, 项.位置);
  }
  状态.quarantined.clear();
  EXPECT_FALSE(选择可启动版本(状态, [](const std::wstring&) { return false; }).has_value());
  EXPECT_FALSE(选择可启动版本(本地版本状态{}, [](const std::wstring&) { return true; }).has_value());
}

TEST_F(隔离恢复判定, 目标版本校验) {
  EXPECT_TRUE(校验目标版本(目标目录(), 策略_));
  版本策略 其它哈希 = 策略_;
  其它哈希.manifestHash = std::string(64, 'a');
  EXPECT_FALSE(校验目标版本(目标目录(), 其它哈希));
  // A directory holding another release, even a complete one, is not the target.
  版本策略 其它目标 = 策略_;
  其它目标.targetReleaseId = "2.3.0";
  EXPECT_FALSE(校验目标版本(目标目录(), 其它目标));
  fs::remove(发布路径("2.4.0", "release.manifest.json"));
  EXPECT_FALSE(校验目标版本(目标目录(), 策略_));
}

}  // namespace
}  // namespace tallybell
