#include <gtest/gtest.h>

#include <string>

#include "coordinator/quarantine_recovery.h"
#include "coordinator/quarantine_test_support.h"
#include "support/fault_injection.h"

namespace tallybell {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using 测试::读测试文件;
using 测试::写测试文件;

class 隔离恢复提交 : public 测试::隔离恢复测试 {
 protected:
  隔离恢复提交() {
    路径_ = 取本地版本状态路径(配置_.stateRoot);
    状态_.activeRelease = L"2.3.0";  // not installed: nothing else can run
    状态_.confirmedHistory = {L"2.2.0", L"2.3.0"};
    状态_.quarantined = {L"2.0.0", L"2.4.0", L"2.1.0"};
    状态_.policyVersion = 5;
    状态_.policyContentId = "content";
    状态_.nextCheckAt = "2026-12-05T01:02:03Z";
    状态_.updateFailureCount = 2;
  }

  void 写状态(const 本地版本状态& 状态, const std::string& 文件名 = "state.txt") {
    测试::写状态文件(目录_.子路径("state"), 状态, 文件名);
  }
  std::string 主文件文本() const { return 读测试文件(目录_.子路径("state/state.txt")); }

  bool 提交(本地版本状态* 调用方状态, std::wstring* 错误) {
    *错误 = L"stale";
    return 提交隔离恢复(配置_, 策略_, L"2.4.0", 目标目录(), &路径_, 调用方状态, 错误);
  }

  // A failed commit: the message, untouched files and caller state, no commit line.
  void 预期失败(const std::wstring& 消息) {
    const std::string 之前主 = 主文件文本();
    本地版本状态 调用方 = 状态_;
    std::wstring 错误;
    EXPECT_FALSE(提交(&调用方, &错误));
    EXPECT_EQ(错误, 消息);
    EXPECT_EQ(序列化本地版本状态(调用方), 序列化本地版本状态(状态_));
    EXPECT_EQ(主文件文本(), 之前主);
    for (const auto& 行 : 诊断行()) EXPECT_NE(行.阶段, "quarantine-commit");
  }

  本地版本状态路径 路径_;
};

TEST_F(隔离恢复提交, 解除隔离并提交为待试运行) {
  写状态(状态_);
  本地版本状态 调用方;  // stale in memory: the files decide
  std::wstring 错误;
  ASSERT_TRUE(提交(&调用方, &错误));
  EXPECT_EQ(错误, L"");

  本地版本状态 期望 = 状态_;
  期望.generation = 5;
  期望.pendingRelease = L"2.4.0";
  期望.quarantined = {L"2.0.0", L"2.1.0"};
  期望.preservedFields = "{\"quarantineRecoveryFingerprints\":[\"" + 指纹() + "\"]}";
  EXPECT_EQ(主文件文本(), 序列化本地版本状态(期望));
  EXPECT_EQ(序列化本地版本状态(调用方), 序列化本地版本状态(期望));
  EXPECT_EQ(序列化本地版本状态(测试::读状态文件(目录_.子路径("state/state.txt.bak"))),
            序列化本地版本状态(状态_));

  const auto 行 = 诊断行();
  ASSERT_EQ(行.size(), 1u);
  EXPECT_EQ(行[0].阶段, "quarantine-commit");
  EXPECT_EQ(行[0].代码, 0u);
  EXPECT_EQ(行[0].字段文本, json({{"detail", "已解除目标隔离并提交待试运行状态"},
                                   {"fingerprint", 指纹()},
                                   {"generation", 5},
                                   {"pendingRelease", "2.4.0"}})
                                 .dump());
}

TEST_F(隔离恢复提交, 读取两份状态中较新的一份) {
  本地版本状态 已过时 = 状态_;
  已过时.generation = 7;
  已过时.pendingRelease = L"2.3.5";  // would refuse the recovery
  本地版本状态 较新 = 状态_;
  较新.generation = 9;
  写状态(已过时);
  写状态(较新, "state.txt.bak");
  本地版本状态 调用方;
  std::wstring 错误;
  ASSERT_TRUE(提交(&调用方, &错误));
  EXPECT_EQ(调用方.generation, 10u);

  // On a tie the main file wins.
  较新.generation = 10;
  本地版本状态 同代 = 状态_;
  同代.generation = 10;
  同代.pendingRelease = L"2.3.5";
  写状态(较新);
  写状态(同代, "state.txt.bak");
  ASSERT_TRUE(提交(&调用方, &错误));
  EXPECT_EQ(调用方.generation, 11u);
}

TEST_F(隔离恢复提交, 目标目录校验失败时拒绝) {
  写状态(状态_);
  写测试文件(发布路径("2.4.0", "lib/core.dll"), "tampered");
  预期失败(L"误隔离恢复条件已变化或版本校验失败。");
  const auto 行 = 诊断行();
  ASSERT_EQ(行.size(), 1u);
  EXPECT_EQ(行[0].代码, 3003u);
  EXPECT_EQ(行[0].字段().at("reason"), "conditions-changed-or-integrity-failed");
}

}  // namespace
}  // namespace tallybell
