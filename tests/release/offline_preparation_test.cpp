#include "release/offline_preparation.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "platform/named_mutex.h"
#include "release/directory_tree.h"
#include "storage/coordinator_lock.h"
#include "support/fault_injection.h"
#include "support/lock_holder.h"
#include "support/lock_namespace.h"
#include "support/state_files.h"
#include "support/temp_dir.h"
#include "support/tree_compare.h"

namespace tallybell {
namespace {

namespace fs = std::filesystem;
using namespace 测试;

class 离线准备 : public ::testing::Test {
 protected:
  // Named locks of this test stay apart from tests running at the same time.
  测试::私有锁命名空间 锁空间_;

  void SetUp() override {
    写目录树(源(), {{"Tallybell.exe", "exe"}, {"complete.json", "{}"}, {"data/a.bin", "a"}});
    本地版本状态 状态;
    状态.generation = 1;
    写状态文件(目录_.子路径("state"), 状态);
    请求_.fixtureDir = 目录_.宽路径("fixture");
    请求_.programRoot = 目录_.宽路径("program");
    请求_.stateRoot = 目录_.宽路径("state");
    请求_.releaseId = L"r1";
  }
  fs::path 源() const { return 目录_.子路径("fixture/releases/r1"); }
  fs::path 目标() const { return 目录_.子路径("program/releases/r1"); }
  fs::path 暂存根() const { return 目录_.子路径("state/staging"); }

  测试临时目录 目录_;
  离线准备请求 请求_;
};

TEST_F(离线准备, 成功消息与失败消息) {
  std::wstring 消息 = L"stale";
  请求_.releaseId = L"..";
  EXPECT_EQ(准备离线版本(请求_, &消息), 3001u);
  EXPECT_EQ(消息, L"离线更新参数无效。");
  请求_.releaseId = L"r1";
  EXPECT_EQ(准备离线版本(请求_, &消息), 0u);
  EXPECT_EQ(消息, L"离线版本已准备并提交为 pendingRelease。");
  EXPECT_EQ(准备离线版本(请求_, nullptr), 0u);  // no message wanted
}

TEST_F(离线准备, 来源含链接时为3005且不留暂存目录) {
  fs::create_directory(目录_.子路径("outside"));
  写测试文件(目录_.子路径("outside/secret"), "s");
  std::error_code 错误;
  fs::create_directory_symlink(目录_.子路径("outside"), 源() / "data" / "link", 错误);
  if (错误 || !fs::is_symlink(源() / "data" / "link")) GTEST_SKIP() << "this system creates no symbolic links";
  std::wstring 消息;
  EXPECT_EQ(准备离线版本(请求_, &消息), 3005u);
  EXPECT_EQ(消息, L"复制离线版本到 staging 失败。");
  EXPECT_TRUE(目录内容(暂存根()).empty());
  EXPECT_FALSE(fs::exists(目标()));
  EXPECT_EQ(读测试文件(目录_.子路径("outside/secret")), "s");
}

TEST_F(离线准备, 另一更新持有协调器锁时等待有界并返回3007) {
  std::uint32_t 代码 = 0;
  std::wstring 消息;
  {
    持锁线程 另一运行(协调器锁名称);
    ASSERT_TRUE(另一运行.已取得());
    请求_.锁等待毫秒 = 50;
    代码 = 准备离线版本(请求_, &消息);
  }
  EXPECT_EQ(代码, 3007u);
  EXPECT_EQ(消息, L"另一个更新进程正在运行，请稍后重试。");
  EXPECT_FALSE(fs::exists(目标()));
  EXPECT_EQ(读状态文件(目录_.子路径("state/state.txt")).generation, 1u);
}

TEST(删除目录树, 删除链接本身而不跟随到外面) {
  测试临时目录 目录;
  写目录树(目录.子路径("outside"), {{"keep.txt", "k"}});
  写目录树(目录.子路径("victim"), {{"a/b.txt", "b"}, {"c.txt", "c"}});
  std::error_code 错误;
  fs::create_directory_symlink(目录.子路径("outside"), 目录.子路径("victim/a/link"), 错误);
  const bool 有链接 = !错误 && fs::is_symlink(目录.子路径("victim/a/link"));
  删除目录树(目录.宽路径("victim"));
  EXPECT_FALSE(fs::exists(目录.子路径("victim")));
  EXPECT_EQ(读测试文件(目录.子路径("outside/keep.txt")), "k");
  if (!有链接) GTEST_SKIP() << "this system creates no symbolic links; the plain tree was removed";
}

}  // namespace
}  // namespace tallybell
