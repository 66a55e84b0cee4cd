// A state file that exists but cannot be read at the moment must not be rebuilt: the
// rebuild would forget the installed releases for good.
#include <gtest/gtest.h>

#include "common/time_text.h"
#include "coordinator/coordinator.h"
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
using namespace 测试;

class 状态读取故障 : public ::testing::Test {
 protected:
  测试::私有锁命名空间 锁空间_;

  void SetUp() override {
    夹具策略 策略;
    策略.policyVersion = 5;
    写入更新夹具(目录_.子路径("fixture"), 策略, {{"Tallybell.exe", "exe-2"}});
    写入发布目录(目录_.子路径("program/releases/r1"), "r1", {{"Tallybell.exe", "exe-1"}});
    本地版本状态 状态;
    状态.generation = 4;
    状态.activeRelease = L"r1";
    状态.lastGoodRelease = L"r1";
    状态.confirmedHistory = {L"r1"};
    状态.policyVersion = 4;
    写状态文件(目录_.子路径("state"), 状态);
    原文_ = 读测试文件(目录_.子路径("state/state.txt"));
    配置_.programRoot = 目录_.宽路径("program");
    配置_.stateRoot = 目录_.宽路径("state");
    配置_.cacheRoot = 目录_.宽路径("cache");
    配置_.resolveUrls = {L"https://updates.tallybell.example/update/v1/resolve"};
    配置_.clock = [] {
      std::uint64_t 值 = 0;
      合成UTC时间({2026, 12, 6, 10, 0, 0}, &值);
      return 值;
    };
  }
  std::uint32_t 运行(std::wstring* 错误) { return 运行更新协调器(配置_, &夹具_, &夹具_, &结果_, 错误); }

  测试临时目录 目录_;
  离线更新夹具传输 夹具_{目录_.宽路径("fixture")};
  更新协调器配置 配置_;
  更新协调器结果 结果_;
  std::string 原文_;
};

TEST_F(状态读取故障, 读不出的状态文件不被重建且下次运行照常) {
  // Forced, so the due-time gate (which only reads, and may fail to) is passed by; the first
  // open and the first read are then those of the load under the lock.
  配置_.forceCheck = true;
  for (const char* 调用 : {"打开", "读取"}) {
    SCOPED_TRACE(调用);
    std::wstring 错误;
    {
      文件故障注入 故障{std::string(调用)};
      EXPECT_EQ(运行(&错误), 3006u);
      EXPECT_TRUE(故障.已注入());
    }
    EXPECT_EQ(错误, L"无法重建本地更新状态。");
    EXPECT_FALSE(结果_.releasePrepared);
    EXPECT_EQ(读测试文件(目录_.子路径("state/state.txt")), 原文_);
    EXPECT_FALSE(fs::exists(目录_.子路径("state/state.txt.bak")));
  }

  std::wstring 错误;
  ASSERT_EQ(运行(&错误), 0u);
  EXPECT_TRUE(结果_.releasePrepared);
  const 本地版本状态 之后 = 读状态文件(目录_.子路径("state/state.txt"));
  EXPECT_EQ(之后.activeRelease, L"r1");
  EXPECT_EQ(之后.lastGoodRelease, L"r1");
  EXPECT_EQ(之后.pendingRelease, L"r2");
  EXPECT_EQ(之后.policyVersion, 5u);
}

TEST_F(状态读取故障, 内容损坏的状态文件仍被重建) {
  写测试文件(目录_.子路径("state/state.txt"), "stateVersion=2\ngarbage");
  std::wstring 错误;
  ASSERT_EQ(运行(&错误), 0u);
  const 本地版本状态 之后 = 读状态文件(目录_.子路径("state/state.txt"));
  EXPECT_TRUE(之后.activeRelease.empty());
  EXPECT_EQ(之后.pendingRelease, L"r2");
}

}  // namespace
}  // namespace tallybell
