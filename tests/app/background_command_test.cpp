// The background check as the scheduled task runs it: the built program over an offline
// fixture, its lines, exit codes and what it leaves on disk.
#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "platform/named_mutex.h"
#include "release/verification.h"
#include "storage/coordinator_lock.h"
#include "support/diagnostic_channel_fixture.h"
#include "support/file_helpers.h"
#include "support/lock_holder.h"
#include "support/lock_namespace.h"
#include "support/program_runner.h"
#include "support/state_files.h"
#include "support/temp_dir.h"
#include "support/update_fixture.h"

namespace tallybell {
namespace {

namespace fs = std::filesystem;
using namespace 测试;

const 发布内容 版本文件 = {{"Tallybell.exe", "exe-7"}, {"data/a.bin", "aaaa"}};

class 后台检查命令 : public ::testing::Test {
 protected:
  // Named locks of this test stay apart from tests running at the same time.
  测试::私有锁命名空间 锁空间_;

  void SetUp() override {
    策略_.checkAfter = "2099-01-01T00:00:00Z";
    写入更新夹具(夹具(), 策略_, 版本文件);
  }
  fs::path 夹具() const { return 目录_.子路径("fixture"); }
  fs::path 状态根() const { return 目录_.子路径("state"); }
  程序结果 检查(std::vector<std::string> 额外 = {}) {
    std::vector<std::string> 参数 = {"--background-check", "--offline-fixture", 夹具().u8string(),
                                    "--program-root", 目录_.子路径("program").u8string(), "--state-root",
                                    状态根().u8string()};
    参数.insert(参数.end(), 额外.begin(), 额外.end());
    return 运行更新程序(参数);
  }

  测试临时目录 目录_;
  夹具策略 策略_;
};

TEST_F(后台检查命令, 准备版本后下一次跳过到检查时间) {
  const auto 第一次 = 检查();
  EXPECT_EQ(第一次.输出, "background release prepared\n");
  EXPECT_EQ(第一次.退出码, 0u);
  EXPECT_TRUE(发布目录可用((目录_.路径() / "program" / "releases" / "r2").wstring()));
  EXPECT_EQ(读状态文件(状态根() / "state.txt").pendingRelease, L"r2");
  // Without --cache-root the cache lives below the state root.
  EXPECT_EQ(目录内容(状态根() / "cache" / "objects" / "sha256").size(), 2u);
  EXPECT_NE(读测试文件(夹具() / "reported-results.ndjson").find("\"result\":\"prepared\""), std::string::npos);

  const auto 第二次 = 检查();
  EXPECT_EQ(第二次.输出, "background update skipped until checkAfter\n");
  EXPECT_EQ(第二次.退出码, 0u);

  const auto 强制 = 检查({"--force-check"});
  EXPECT_EQ(强制.输出, "background release prepared\n");  // pending again: fetched and found complete
}

TEST_F(后台检查命令, 失败打印代码和详情并在退避期间以3018跳过) {
  fs::remove(夹具() / "manifest.json");
  const auto 失败 = 检查({"--cache-root", 目录_.子路径("elsewhere").u8string()});
  EXPECT_EQ(失败.输出, "background update failed code=3015\n无法下载发布清单。\n");
  EXPECT_EQ(失败.退出码, 可观察退出码(3015));
  const auto 跳过 = 检查();
  EXPECT_EQ(跳过.输出, "background update skipped until checkAfter\n");
  EXPECT_EQ(跳过.退出码, 可观察退出码(3018));
}

TEST_F(后台检查命令, 另一运行持锁时为已在运行) {
  程序结果 结果;
  {
    持锁线程 另一运行(协调器锁名称);
    ASSERT_TRUE(另一运行.已取得());
    结果 = 检查();
  }
  EXPECT_EQ(结果.输出, "background update already running\n");
  EXPECT_EQ(结果.退出码, 0u);
}

}  // namespace
}  // namespace tallybell
