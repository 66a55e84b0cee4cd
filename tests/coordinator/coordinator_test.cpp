#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include "common/time_text.h"
#include "coordinator/coordinator.h"
#include "coordinator/installation_identity.h"
#include "release/offline_preparation.h"
#include "support/fault_injection.h"
#include "support/file_helpers.h"
#include "support/lock_namespace.h"
#include "support/state_files.h"
#include "support/temp_dir.h"
#include "support/update_fixture.h"
#include "transport/offline_fixture.h"

namespace tallybell {
namespace {

namespace fs = std::filesystem;
using namespace 测试;
using 测试::读测试文件;
using 测试::写测试文件;

const 发布内容 版本文件 = {{"Tallybell.exe", "exe-2"}, {"lib/core.dll", "core-2"}};

class 更新协调器测试 : public ::testing::Test {
 protected:
  // Named locks of this test stay apart from tests running at the same time.
  测试::私有锁命名空间 锁空间_;

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

class 设备安装标识 : public ::testing::Test {
 protected:
  fs::path 标识文件() const { return 目录_.子路径("state/installation-id.txt"); }
  fs::path 备份文件() const { return 目录_.子路径("state/installation-id.txt.bak"); }
  std::string 取得() {
    std::string 标识 = "untouched";
    EXPECT_TRUE(取得设备安装标识(目录_.宽路径(), &标识));
    return 标识;
  }

  测试::测试临时目录 目录_;
};

// Created once and kept; content that is not a lowercase GUID line is replaced by a new
// identity and kept aside in the backup.
TEST_F(设备安装标识, 首次创建后保持不变而无效内容被替换且失败时文件不变) {
  const std::string 标识 = 取得();
  EXPECT_TRUE(std::regex_match(标识, 小写GUID形状)) << 标识;
  EXPECT_EQ(读测试文件(标识文件()), 标识 + "\n");
  EXPECT_EQ(取得(), 标识);
  EXPECT_FALSE(fs::exists(备份文件()));
  const std::string 无效内容[] = {
      "0123ABCD-0000-FFFF-9999-ABCDEFABCDEF\n",  // upper case
      "\xEF\xBB\xBF" "0123abcd-0000-ffff-9999-abcdefabcdef\n",  // byte order mark
      "",
  };
  for (const std::string& 内容 : 无效内容) {
    写测试文件(标识文件(), 内容);
    const std::string 新标识 = 取得();
    EXPECT_TRUE(std::regex_match(新标识, 小写GUID形状)) << 内容;
    EXPECT_EQ(读测试文件(标识文件()), 新标识 + "\n");
    EXPECT_EQ(读测试文件(备份文件()), 内容);
  }

  // A failed write hands out nothing and leaves both files; an identity that exists but
  // cannot be read now is kept, since a new one would make the service count this machine
  // twice.
  const std::string 原标识 = 取得();
  for (const std::string 调用 : {"写入", "刷新", "替换并备份", "打开", "读取"}) {
    SCOPED_TRACE(调用);
    const bool 读取 = 调用 == "打开" || 调用 == "读取";
    const std::string 内容 = 读取 ? 原标识 + "\n" : "invalid\n";
    写测试文件(标识文件(), 内容);
    写测试文件(备份文件(), "older\n");
    std::string 标识 = "untouched";
    {
      测试::文件故障注入 故障{调用};
      EXPECT_FALSE(取得设备安装标识(目录_.宽路径(), &标识));
      EXPECT_TRUE(故障.已注入());
    }
    EXPECT_EQ(标识, "untouched");
    EXPECT_EQ(读测试文件(标识文件()), 内容);
    EXPECT_EQ(读测试文件(备份文件()), "older\n");
    EXPECT_EQ(测试::目录内容(目录_.子路径("state")),
              (std::vector<std::string>{"installation-id.txt", "installation-id.txt.bak"}));
  }
  EXPECT_EQ(取得(), 原标识);
}

}  // namespace
}  // namespace tallybell
