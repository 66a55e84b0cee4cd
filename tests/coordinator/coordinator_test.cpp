#include "coordinator/coordinator.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "common/time_text.h"
#include "platform/named_mutex.h"
#include "release/offline_preparation.h"
#include "release/verification.h"
#include "storage/coordinator_lock.h"
#include "support/diagnostic_channel_fixture.h"
#include "support/file_helpers.h"
#include "support/lock_holder.h"
#include "support/lock_namespace.h"
#include "support/state_files.h"
#include "support/temp_dir.h"
#include "support/update_fixture.h"
#include "transport/offline_fixture.h"

namespace tallybell {
namespace {

namespace fs = std::filesystem;
using namespace 测试;

const 发布内容 版本文件 = {{"Tallybell.exe", "exe-2"}, {"lib/core.dll", "core-2"}};

std::uint64_t 时刻(std::uint32_t 时, std::uint32_t 分 = 0) {
  std::uint64_t 值 = 0;
  EXPECT_TRUE(合成UTC时间({2026, 12, 6, 时, 分, 0}, &值));
  return 值;
}

class 更新协调器测试 : public ::testing::Test {
 protected:
  // Named locks of this test stay apart from tests running at the same time.
  测试::私有锁命名空间 锁空间_;

  void SetUp() override {
    清单_ = 写入更新夹具(夹具目录(), 策略_, 版本文件);
    配置_.programRoot = 目录_.宽路径("program");
    配置_.stateRoot = 目录_.宽路径("state");
    配置_.cacheRoot = 目录_.宽路径("cache");
    配置_.resolveUrls = {L"https://updates.tallybell.example/update/v1/resolve"};
    配置_.clock = [this] { return 现在_; };
    配置_.diagnosticId = "coordinator-test";
  }
  fs::path 夹具目录() const { return 目录_.子路径("fixture"); }
  fs::path 状态根() const { return 目录_.子路径("state"); }
  void 改写策略(const 夹具策略& 策略) {
    策略_ = 策略;
    清单_ = 写入更新夹具(夹具目录(), 策略_, 版本文件);
  }
  std::uint32_t 运行(std::wstring* 错误 = nullptr) { return 运行更新协调器(配置_, &夹具_, &夹具_, &结果_, 错误); }
  本地版本状态 状态() const { return 读状态文件(状态根() / "state.txt"); }
  std::vector<std::string> 已回报事件() const {
    std::vector<std::string> 行;
    const std::string 文本 = 读测试文件(夹具目录() / "reported-results.ndjson");
    for (std::size_t 起 = 0, 止; (止 = 文本.find('\n', 起)) != std::string::npos; 起 = 止 + 1) {
      行.push_back(文本.substr(起, 止 - 起));
    }
    return 行;
  }

  测试临时目录 目录_;
  离线更新夹具传输 夹具_{目录_.宽路径("fixture")};
  夹具策略 策略_;
  std::string 清单_;
  更新协调器配置 配置_;
  更新协调器结果 结果_;
  std::uint64_t 现在_ = 时刻(10);
};

TEST_F(更新协调器测试, 检查时间之前跳过且失败计数决定标志) {
  本地版本状态 状态值;
  状态值.generation = 3;
  状态值.nextCheckAt = "2026-12-06T10:00:01Z";
  写状态文件(状态根(), 状态值);
  EXPECT_EQ(运行(), 0u);
  EXPECT_TRUE(结果_.skippedUntilCheckAfter);
  EXPECT_FALSE(结果_.skippedWhileFailing);

  状态值.updateFailureCount = 2;
  写状态文件(状态根(), 状态值);
  EXPECT_EQ(运行(), 0u);
  EXPECT_TRUE(结果_.skippedWhileFailing);
  EXPECT_FALSE(fs::exists(状态根() / "state"));  // nothing after the gate was done

  现在_ = 时刻(10) + 10000000;  // exactly nextCheckAt: due
  EXPECT_EQ(运行(), 0u);
  EXPECT_FALSE(结果_.skippedUntilCheckAfter);
  EXPECT_TRUE(结果_.releasePrepared);
}

TEST_F(更新协调器测试, 旧策略被忽略而相同版本不同内容为3013) {
  配置_.forceCheck = true;
  夹具策略 新 = 策略_;
  新.policyVersion = 5;
  改写策略(新);
  ASSERT_EQ(运行(), 0u);
  const std::string 已存策略 = 读测试文件(状态根() / "state" / "current-policy.json");
  const std::string 已存状态 = 读测试文件(状态根() / "state.txt");
  夹具策略 旧 = 策略_;
  旧.policyVersion = 4;
  改写策略(旧);
  EXPECT_EQ(运行(), 0u);
  EXPECT_TRUE(结果_.olderPolicyIgnored);
  EXPECT_EQ(读测试文件(状态根() / "state" / "current-policy.json"), 已存策略);
  EXPECT_EQ(读测试文件(状态根() / "state.txt"), 已存状态);

  夹具策略 同版本 = 新;
  同版本.assignmentId = "another";
  改写策略(同版本);
  const std::string 之前 = 读测试文件(状态根() / "state.txt");
  std::wstring 错误;
  EXPECT_EQ(运行(&错误), 3013u);
  EXPECT_EQ(错误, L"相同 policyVersion 返回了不同内容。");
  EXPECT_EQ(读测试文件(状态根() / "state.txt"), 之前);
}

TEST_F(更新协调器测试, 清单缺失时3015并逐次退避) {
  fs::remove(夹具目录() / "manifest.json");
  配置_.forceCheck = true;
  const std::uint64_t 分钟 = 600000000ULL;
  const std::pair<std::uint64_t, std::uint64_t> 预期[] = {{1, 5}, {2, 15}, {3, 60}, {4, 60}};
  for (const auto& [次数, 延迟] : 预期) {
    现在_ += 分钟;
    std::wstring 错误;
    EXPECT_EQ(运行(&错误), 3015u);
    EXPECT_EQ(错误, L"无法下载发布清单。");
    const auto 当前 = 状态();
    EXPECT_EQ(当前.updateFailureCount, 次数);
    std::string 期望时间;
    期望时间 = 格式化UTC时间(现在_ + 延迟 * 分钟);
    EXPECT_EQ(当前.nextCheckAt, 期望时间);
  }
  const auto 事件 = 已回报事件();
  ASSERT_EQ(事件.size(), 4u);
  EXPECT_NE(事件[0].find("\"errorCode\":3015"), std::string::npos);
  EXPECT_NE(事件[0].find("\"failureStage\":\"manifest\""), std::string::npos);

  // A newer policy resets the count.
  夹具策略 新 = 策略_;
  新.policyVersion = 2;
  改写策略(新);
  EXPECT_EQ(运行(), 0u);
  EXPECT_EQ(状态().updateFailureCount, 0u);
}

TEST_F(更新协调器测试, 不能作目录名的目标被当作无效策略) {
  夹具策略 坏 = 策略_;
  坏.targetReleaseId = "..";
  改写策略(坏);
  std::wstring 错误;
  EXPECT_EQ(运行(&错误), 3012u);
  EXPECT_EQ(错误, L"无法取得有效更新策略，现有版本状态未改变。");
  EXPECT_FALSE(fs::exists(状态根() / "state" / "current-policy.json"));
  EXPECT_FALSE(fs::exists(目录_.子路径("program")));
  EXPECT_EQ(状态().updateFailureCount, 1u);
}

TEST_F(更新协调器测试, 隔离的目标未启用恢复时3003并写判定行) {
  测试诊断通道 通道("coordinator-test");
  ASSERT_TRUE(通道.已创建());
  本地版本状态 状态值;
  状态值.generation = 2;
  状态值.quarantined = {L"r2"};
  写状态文件(状态根(), 状态值);
  std::wstring 错误;
  EXPECT_EQ(运行(&错误), 3003u);
  EXPECT_EQ(错误, L"目标版本已被隔离，当前状态不满足本次受监督恢复条件。");
  const std::string 文本 = 通道.文本();
  EXPECT_NE(文本.find("stage=quarantine-decision code=3003"), std::string::npos) << 文本;
  EXPECT_NE(文本.find("recovery-not-enabled"), std::string::npos) << 文本;
  EXPECT_FALSE(fs::exists(目录_.子路径("program/releases/r2")));
}

// An offline preparation that commits between the due-time gate and the lock (here from
// the clock the gate consults) must survive the policy bookkeeping that follows.
TEST_F(更新协调器测试, 闸门与加锁之间提交的离线准备不被覆盖) {
  写入发布目录(目录_.子路径("program/releases/r1"), "r1", 版本文件);
  写入发布目录(夹具目录() / "releases" / "r3", "r3", 版本文件);
  夹具策略 策略;
  策略.targetReleaseId = "r1";
  改写策略(策略);
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

}  // namespace
}  // namespace tallybell
