// What another local user can do to the per-user lock directory and its lock files: they
// can only deny a lock (by taking the directory's name first), never hand us a file of
// theirs or make us write through a link.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/named_mutex.h"
#include "platform/named_semaphore.h"
#include "platform/posix/user_namespace.h"
#include "storage/coordinator_lock.h"
#include "support/file_helpers.h"
#include "support/lock_namespace.h"
#include "support/program_runner.h"
#include "support/temp_dir.h"
#include "support/update_fixture.h"

namespace tallybell {
namespace {

namespace fs = std::filesystem;
using namespace 测试;

struct stat 取属性(const fs::path& 路径) {
  struct stat 信息 {};
  EXPECT_EQ(::lstat(路径.c_str(), &信息), 0) << 路径;
  return 信息;
}

// The directory is private to the user and every lock file in it is the user's own, not
// readable or writable by anyone else. A link where a lock file belongs is refused, and
// neither what it points at nor the place it names is created, truncated or written; a
// lock name cannot reach outside the directory.
TEST(锁目录安全, 锁文件只属于本用户链接被拒绝且锁名不能离开命名空间) {
  私有锁命名空间 锁空间;
  测试临时目录 外面;
  std::string 命名空间;
  ASSERT_TRUE(platform::取用户命名空间目录(&命名空间));
  const auto 锁文件 = [&](const std::string& 名称) { return fs::path(命名空间) / 名称; };
  {
    platform::命名互斥体 互斥体;
    ASSERT_TRUE(互斥体.打开或创建(协调器锁名称));
    platform::命名信号量 信号量;
    ASSERT_TRUE(信号量.打开或创建(L"Tallybell-DownloadSlots-v1", 3));
    const struct stat 目录 = 取属性(命名空间);
    EXPECT_EQ(目录.st_mode & 07777, 0700u);
    EXPECT_EQ(目录.st_uid, ::geteuid());
    for (const std::string 名称 : {"Tallybell-UpdateCoordinator-v1.lock", "Tallybell-DownloadSlots-v1.0.lock",
                                   "Tallybell-DownloadSlots-v1.1.lock", "Tallybell-DownloadSlots-v1.2.lock"}) {
      const struct stat 文件 = 取属性(锁文件(名称));
      EXPECT_TRUE(S_ISREG(文件.st_mode) && (文件.st_mode & 077) == 0 && 文件.st_uid == ::geteuid()) << 名称;
    }
  }
  for (const auto& 项 : fs::directory_iterator(命名空间)) fs::remove(项.path());

  写测试文件(外面.子路径("victim"), "keep");
  fs::create_symlink(外面.子路径("victim"), 锁文件("Tallybell-UpdateCoordinator-v1.lock"));
  fs::create_symlink(外面.子路径("planted"), 锁文件("Tallybell-Download-x.lock"));
  fs::create_symlink(外面.子路径("slot"), 锁文件("Tallybell-DownloadSlots-v1.1.lock"));
  platform::命名互斥体 协调器锁;
  EXPECT_FALSE(协调器锁.打开或创建(协调器锁名称));
  EXPECT_EQ(协调器锁.加锁(0), platform::加锁结果::错误);
  platform::命名互斥体 对象锁;
  EXPECT_FALSE(对象锁.打开或创建(L"Tallybell-Download-x"));
  platform::命名信号量 名额;
  EXPECT_FALSE(名额.打开或创建(L"Tallybell-DownloadSlots-v1", 3));
  EXPECT_EQ(名额.取得名额(0), platform::加锁结果::错误);
  EXPECT_EQ(读测试文件(外面.子路径("victim")), "keep");
  EXPECT_FALSE(fs::exists(外面.子路径("planted")) || fs::exists(外面.子路径("slot")));
  EXPECT_TRUE(fs::is_symlink(锁文件("Tallybell-UpdateCoordinator-v1.lock")));

  for (const std::wstring 名称 : {L"../escape", L"a/b", L"a\\b", L""}) {
    platform::命名互斥体 互斥体;
    EXPECT_FALSE(互斥体.打开或创建(名称));
    platform::命名信号量 信号量;
    EXPECT_FALSE(信号量.打开或创建(名称, 3));
  }
  EXPECT_FALSE(fs::exists(fs::path(命名空间).parent_path() / "escape.lock"));
}

// Another user who takes the directory's name first (under /tmp anyone can) only stops the
// locks from being taken: the background check then reports a run in progress and changes
// nothing under the lock; it never works with a lock file that user controls.
TEST(锁目录被他人占用, 后台检查不取锁也不改动任何东西) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to hand the directory to another user";
  私有锁命名空间 锁空间;
  std::string 命名空间;
  ASSERT_TRUE(platform::取用户命名空间目录(&命名空间));
  ASSERT_EQ(::chown(命名空间.c_str(), 65534, 65534), 0);
  ASSERT_EQ(::chmod(命名空间.c_str(), 0777), 0);

  platform::命名互斥体 互斥体;
  EXPECT_FALSE(互斥体.打开或创建(协调器锁名称));
  platform::命名信号量 信号量;
  EXPECT_FALSE(信号量.打开或创建(L"Tallybell-DownloadSlots-v1", 3));

  测试临时目录 目录;
  夹具策略 策略;
  写入更新夹具(目录.子路径("fixture"), 策略, {{"Tallybell.exe", "exe"}});
  const 程序结果 结果 = 运行更新程序({"--background-check", "--offline-fixture", 目录.子路径("fixture").u8string(),
                                     "--program-root", 目录.子路径("program").u8string(), "--state-root",
                                     目录.子路径("state").u8string()});
  EXPECT_EQ(结果.输出, "background update already running\n");
  EXPECT_EQ(结果.退出码, 0u);
  // Only the state rebuild, which comes before the lock, has happened.
  EXPECT_FALSE(fs::exists(目录.子路径("program")));
  EXPECT_FALSE(fs::exists(目录.子路径("state/state/current-policy.json")));
  EXPECT_TRUE(fs::is_empty(命名空间));
}

}  // namespace
}  // namespace tallybell
