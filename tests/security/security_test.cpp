#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "coordinator/coordinator_steps.h"
#include "release/staging.h"
#include "support/file_helpers.h"
#include "support/state_files.h"
#include "support/temp_dir.h"
#include "support/tree_compare.h"

namespace tallybell {
namespace {

using namespace 测试;
namespace fs = std::filesystem;

// Runs that do not share a named-lock namespace still meet at the state root: a commit
// built on a state another run has replaced since writes nothing, and staging clean-up
// leaves a staging folder whose run still holds it.
TEST(状态根锁, 读后被他人提交过的状态不被覆盖) {
  for (const bool 记失败 : {false, true}) {
    测试临时目录 目录;
    更新协调器配置 配置;
    配置.stateRoot = 目录.宽路径("state");
    配置.clock = [] { return 134000000000000000ULL; };
    本地版本状态 读到的;
    读到的.generation = 4;
    读到的.activeRelease = 读到的.lastGoodRelease = L"r1";
    // Another run (another session, another environment) commits the pending release.
    本地版本状态 他人提交 = 读到的;
    他人提交.generation = 5;
    他人提交.pendingRelease = L"r3";
    写状态文件(目录.子路径("state"), 他人提交);
    const std::string 提交后 = 读测试文件(目录.子路径("state/state.txt"));
    if (记失败) {
      记录更新失败(配置, &读到的);
    } else {
      EXPECT_FALSE(提交下一代状态(配置.stateRoot, &读到的));
    }
    EXPECT_EQ(读测试文件(目录.子路径("state/state.txt")), 提交后) << 记失败;
    EXPECT_FALSE(fs::exists(目录.子路径("state/state.txt.bak"))) << 记失败;
  }
}

TEST(状态根锁, 清理只删除没有运行持有的暂存目录) {
  测试临时目录 目录;
  const std::wstring 状态根 = 目录.宽路径("state");
  const 暂存目录 活的(状态根, L"assemble");
  ASSERT_FALSE(活的.路径().empty());
  写测试文件(fs::path(活的.路径()) / "release" / "a.bin", "a");
  写测试文件(目录.子路径("state/staging/prepare-1-2/release/b.bin"), "b");
  写测试文件(目录.子路径("state/staging/assemble-3-4/c.bin"), "c");
  清理遗留暂存目录(状态根);
  EXPECT_TRUE(fs::exists(fs::path(活的.路径()) / "release" / "a.bin"));
  EXPECT_FALSE(fs::exists(目录.子路径("state/staging/prepare-1-2")));
  EXPECT_FALSE(fs::exists(目录.子路径("state/staging/assemble-3-4")));
  // Nothing but the live run's folder and its lock is left.
  EXPECT_EQ(目录内容(目录.子路径("state/staging")).size(), 2u);
}

}  // namespace
}  // namespace tallybell
