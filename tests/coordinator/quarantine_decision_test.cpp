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

TEST_F(隔离恢复判定, 无其它可运行版本时合格且记录完整) {
  状态_.activeRelease = L"2.3.0";  // its directory is missing, so it cannot run
  状态_.confirmedHistory = {L"2.3.0", L"2.4.0"};
  状态_.legacyInstallPath = L"";
  状态_.preservedFields = "{\"other\":1}";
  bool 可恢复 = false;
  const 测试::诊断记录 行 = 判定(&可恢复);
  EXPECT_TRUE(可恢复);
  EXPECT_EQ(行.阶段, "quarantine-decision");
  EXPECT_EQ(行.代码, 0u);
  const json 期望 = {
      {"activeRelease", "2.3.0"},
      {"attemptingRelease", ""},
      {"availableFallbacks", json::array()},
      {"confirmedHistory", {"2.3.0", "2.4.0"}},
      {"detail", "满足本次启动的一轮受监督试运行条件"},
      {"eligible", true},
      {"fingerprint", 指纹()},
      {"fingerprintStatus", "unused"},
      {"generation", 4},
      {"lastGoodRelease", ""},
      {"legacyInstallPath", ""},
      {"manifestHash", 策略_.manifestHash},
      {"pendingRelease", ""},
      {"policyVersion", 5},
      {"quarantined", {"2.4.0"}},
      {"reason", "eligible"},
      {"recoverUnusableState", true},
      {"rescueRelease", ""},
      {"targetExeExists", true},
      {"targetExeWindowsError", 0},
      {"targetRelease", "2.4.0"},
  };
  // Compact, members in byte order, Chinese as raw UTF-8.
  EXPECT_EQ(行.字段文本, 期望.dump());
}

TEST_F(隔离恢复判定, 原因按顺序取第一个成立的) {
  const std::string 有效记录 = "{\"quarantineRecoveryFingerprints\":[\"other\",\"" + 指纹() + "\"]}";
  const struct {
    std::function<void(更新协调器配置&, 本地版本状态&)> 修改;
    const char* 原因;
    const char* 说明;
    bool 可恢复;
  } 用例[] = {
      {[](auto& 配置, auto& 状态) { 配置.recoverUnusableState = false; 状态.pendingRelease = L"x"; },
       "recovery-not-enabled", "本次普通检查未开启隔离恢复，等待调用端定向重试", false},
      {[](auto&, auto& 状态) { 状态.attemptingRelease = L"2.3.0"; 状态.pendingRelease = L"2.3.1"; },
       "attempting-release-exists", "存在正在试运行的版本，不允许覆盖其状态", false},
      {[](auto&, auto& 状态) { 状态.pendingRelease = L"2.3.1"; 状态.quarantined.clear(); },
       "pending-release-exists", "存在待试运行版本，不允许覆盖其状态", false},
      {[](auto&, auto& 状态) { 状态.quarantined = {L"2.4.0-beta", L"2.4.00"}; },
       "target-not-quarantined", "目标版本不在隔离列表，隔离恢复不适用", false},
      {[](auto&, auto& 状态) { 状态.preservedFields = "{\"quarantineRecoveryFingerprints\":[1]}"; },
       "recovery-record-invalid", "恢复记录格式异常，无法安全确认是否已恢复过", false},
      {[&](auto&, auto& 状态) { 状态.preservedFields = 有效记录; },
       "eligible-retry-after-previous-attempt", "保留此前尝试记录，允许本次启动重新进行一轮健康检查", true},
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
    EXPECT_EQ(字段.at("detail"), 项.说明);
    EXPECT_EQ(字段.at("eligible"), 项.可恢复);
    EXPECT_EQ(字段.at("recoverUnusableState"), 配置_.recoverUnusableState);
    配置_ = 原配置;
    状态_ = 原状态;
  }
}

TEST_F(隔离恢复判定, 恢复记录格式异常时拒绝) {
  // A bad element after the matching string still spoils the record.
  for (const std::string& 记录 : std::vector<std::string>{"{\"quarantineRecoveryFingerprints\":[\"" + 指纹() + "\",1]}",
                                 "{\"quarantineRecoveryFingerprints\":\"" + 指纹() + "\"}",
                                 std::string("{\"quarantineRecoveryFingerprints\":{}}")}) {
    状态_.preservedFields = 记录;
    EXPECT_EQ(拒绝("recovery-record-invalid").at("fingerprintStatus"), "invalid") << 记录;
  }
}

TEST_F(隔离恢复判定, 本地可用版本按顺序列为回退) {
  写发布("2.3.0");
  写发布("2.2.0");
  写发布("2.1.0");
  状态_.lastGoodRelease = L"2.3.0";
  状态_.quarantined = {L"2.4.0", L"2.1.0"};
  // The target, the candidate itself, quarantined and missing entries are left out;
  // a repeated entry is not merged.
  状态_.confirmedHistory = {L"2.4.0", L"2.3.0", L"2.2.0", L"2.1.0", L"9.9.9", L"2.2.0"};
  const json 字段 = 拒绝("fallback-available");
  EXPECT_EQ(字段.at("availableFallbacks"), json({"2.3.0", "2.2.0", "2.2.0"}));
  EXPECT_EQ(字段.at("detail"), "本地仍有符合文件检查的可用版本，不满足隔离恢复条件");

  // A history entry alone is enough to refuse.
  状态_.lastGoodRelease.clear();
  状态_.confirmedHistory = {L"2.2.0"};
  EXPECT_EQ(拒绝("fallback-available").at("availableFallbacks"), json({"2.2.0"}));
}

TEST_F(隔离恢复判定, 隔离或损坏的版本不算回退) {
  写发布("2.3.0");
  写发布("2.2.0");
  写测试文件(发布路径("2.2.0", "lib/core.dll"), "tampered");
  状态_.activeRelease = L"2.3.0";
  状态_.rescueRelease = L"2.2.0";
  状态_.confirmedHistory = {L"2.3.0", L"2.2.0"};
  状态_.quarantined = {L"2.3.0", L"2.4.0"};
  bool 可恢复 = false;
  EXPECT_EQ(判定(&可恢复).字段().at("reason"), "eligible");
  EXPECT_TRUE(可恢复);
}

TEST_F(隔离恢复判定, 旧安装路径只在是文件时算回退且不查隔离列表) {
  const fs::path 旧程序 = 目录_.子路径("legacy/Tallybell.exe");
  写测试文件(旧程序, "old program");
  状态_.legacyInstallPath = 旧程序.wstring();
  状态_.quarantined = {L"2.4.0", 旧程序.wstring()};
  EXPECT_EQ(拒绝("fallback-available").at("availableFallbacks"), json({旧程序.u8string()}));

  状态_.legacyInstallPath = 目录_.宽路径("legacy");
  bool 可恢复 = false;
  EXPECT_EQ(判定(&可恢复).字段().at("reason"), "eligible");
  EXPECT_TRUE(可恢复);
}

TEST_F(隔离恢复判定, 调用方判定不合格时报告复核未通过) {
  记录恢复判定(配置_, 状态_, 策略_, false);
  const auto 行 = 诊断行();
  ASSERT_EQ(行.size(), 1u);
  EXPECT_EQ(行[0].代码, 3003u);
  EXPECT_EQ(行[0].字段().at("reason"), "conditions-changed-or-integrity-failed");
  EXPECT_EQ(行[0].字段().at("detail"), "提交前的条件或清单完整性复核未通过");
}

TEST_F(隔离恢复判定, 目标程序文件的查询结果) {
  fs::remove(发布路径("2.4.0", "Tallybell.exe"));
  json 字段 = 判定().字段();
  EXPECT_EQ(字段.at("targetExeExists"), false);
  EXPECT_EQ(字段.at("targetExeWindowsError"), 2);

  fs::create_directory(发布路径("2.4.0", "Tallybell.exe"));
  字段 = 判定().字段();
  EXPECT_EQ(字段.at("targetExeExists"), false);
  EXPECT_EQ(字段.at("targetExeWindowsError"), 0);

  // Without the release folder Windows reports "path not found"; stat reports ENOENT.
  fs::remove_all(发布路径("2.4.0"));
  字段 = 判定().字段();
  EXPECT_EQ(字段.at("targetExeExists"), false);
  EXPECT_EQ(字段.at("targetExeWindowsError"), platform::路径分隔符 == L'\\' ? 3 : 2);
}

TEST_F(隔离恢复判定, 无法作为目录名的目标从不合格) {
  for (const std::wstring& 目标 : std::vector<std::wstring>{L".", L"..", std::wstring(65, L'a')}) {
    状态_.quarantined = {目标};
    EXPECT_FALSE(判定隔离恢复资格(配置_, 状态_, 策略_, 目标));
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

TEST_F(隔离恢复判定, 可运行的判断) {
  写测试文件(目录_.子路径("tool.bin"), "x");
  EXPECT_TRUE(版本可运行(配置_, L"2.4.0"));
  EXPECT_FALSE(版本可运行(配置_, L""));
  EXPECT_FALSE(版本可运行(配置_, L"2.5.0"));
  EXPECT_TRUE(版本可运行(配置_, 目录_.宽路径("tool.bin")));
  EXPECT_FALSE(版本可运行(配置_, 目录_.宽路径()));
  EXPECT_FALSE(版本可运行(配置_, 目录_.宽路径("missing.bin")));
  写测试文件(发布路径("2.4.0", "Tallybell.exe"), "changed");
  EXPECT_FALSE(版本可运行(配置_, L"2.4.0"));
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

TEST(恢复指纹, 计算查询与登记) {
  版本策略 策略;
  策略.targetReleaseId = "2.4.0";
  策略.manifestHash = "h";
  EXPECT_EQ(计算恢复指纹(策略), "recovery-v1|2.4.0|h");

  本地版本状态 状态;
  EXPECT_EQ(查询恢复指纹状态(状态, "f1"), "unused");
  ASSERT_TRUE(登记恢复指纹(&状态, "f1"));
  EXPECT_EQ(状态.preservedFields, "{\"quarantineRecoveryFingerprints\":[\"f1\"]}");
  EXPECT_EQ(查询恢复指纹状态(状态, "f1"), "used");
  EXPECT_EQ(查询恢复指纹状态(状态, "f2"), "unused");

  状态.preservedFields = "{\"a\":1,\"quarantineRecoveryFingerprints\":[\"f2\",true,\"f1\"]}";
  ASSERT_TRUE(登记恢复指纹(&状态, "f1"));  // present: nothing changes
  EXPECT_EQ(状态.preservedFields, "{\"a\":1,\"quarantineRecoveryFingerprints\":[\"f2\",true,\"f1\"]}");
  ASSERT_TRUE(登记恢复指纹(&状态, "f3"));
  EXPECT_EQ(状态.preservedFields, "{\"a\":1,\"quarantineRecoveryFingerprints\":[\"f2\",true,\"f1\",\"f3\"]}");

  for (const std::string 无效 : {"[1]", "not json", "{\"quarantineRecoveryFingerprints\":null}"}) {
    状态.preservedFields = 无效;
    EXPECT_EQ(查询恢复指纹状态(状态, "f1"), "invalid") << 无效;
    EXPECT_FALSE(登记恢复指纹(&状态, "f1")) << 无效;
    EXPECT_EQ(状态.preservedFields, 无效);
  }
  EXPECT_FALSE(登记恢复指纹(nullptr, "f1"));
}

}  // namespace
}  // namespace tallybell
