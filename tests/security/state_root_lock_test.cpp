// Runs that do not share a named-lock namespace still meet at the state root: a commit
// built on a state another run has replaced since writes nothing, and staging clean-up
// leaves a staging folder whose run still holds it.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "coordinator/coordinator_steps.h"
#include "release/staging.h"
#include "support/state_files.h"
#include "support/temp_dir.h"
#include "support/tree_compare.h"

namespace tallybell {
namespace {

namespace fs = std::filesystem;
using namespace 测试;

struct 过时提交 {
  const char* 名称;
  std::function<void(const 更新协调器配置&, 本地版本状态*)> 提交;
};

TEST(状态根锁, 读后被他人提交过的状态不被覆盖) {
  const 过时提交 表[] = {
      {"next generation", [](const 更新协调器配置& 配置, 本地版本状态* 状态) {
         EXPECT_FALSE(提交下一代状态(配置.stateRoot, 状态));
       }},
      {"failure back-off", [](const 更新协调器配置& 配置, 本地版本状态* 状态) { 记录更新失败(配置, 状态); }},
  };
  for (const auto& 行 : 表) {
    测试临时目录 目录;
    更新协调器配置 配置;
    配置.stateRoot = 目录.宽路径("state");
    配置.clock = [] { return 134000000000000000ULL; };
    本地版本状态 读到的;
    读到的.generation = 4;
    读到的.activeRelease = 读到的.lastGoodRelease = L"r1";
    写状态文件(目录.子路径("state"), 读到的);
    // Another run (another session, another environment) commits the pending release.
    本地版本状态 他人提交 = 读到的;
    他人提交.generation = 5;
    他人提交.pendingRelease = L"r3";
    写状态文件(目录.子路径("state"), 他人提交);
    const std::string 提交后 = 读测试文件(目录.子路径("state/state.txt"));
    行.提交(配置, &读到的);
    EXPECT_EQ(读测试文件(目录.子路径("state/state.txt")), 提交后) << 行.名称;
    EXPECT_FALSE(fs::exists(目录.子路径("state/state.txt.bak"))) << 行.名称;
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
