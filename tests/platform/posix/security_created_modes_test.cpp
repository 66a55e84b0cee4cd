// What the update core creates must not be changeable by other local users, whatever the
// umask of whoever starts it: the state, the policy, the identity, the cache, the results
// queue, the release directories and the lock files. A release copied from a fixture keeps
// its execute bits but never the write access that the fixture's files gave to group and
// others; the publishing tool's private key is the owner's alone. Another user can at most
// deny the locks, never hand us a file of theirs. (Links they plant where lock files belong
// are refused with the other links.)
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/named_mutex.h"
#include "platform/named_semaphore.h"
#include "platform/posix/user_namespace.h"
#include "publish/publish_test_support.h"
#include "storage/coordinator_lock.h"
#include "support/lock_namespace.h"
#include "support/state_files.h"
#include "support/temp_dir.h"
#include "support/update_fixture.h"

namespace tallybell {
namespace {

namespace fs = std::filesystem;
using namespace 测试;

struct stat 属性(const fs::path& 路径) {
  struct stat 信息 {};
  EXPECT_EQ(::lstat(路径.c_str(), &信息), 0) << 路径;
  return 信息;
}
mode_t 权限(const fs::path& 路径) { return 属性(路径).st_mode & 07777; }

TEST(创建的文件权限, 零掩码下后台检查与离线准备留下的一切都不可被他人写而私钥只属于所有者) {
  私有锁命名空间 锁空间;
  测试临时目录 目录;
  夹具策略 策略;
  策略.resultReportUrls.clear();  // the result event stays queued, so the queue is checked too
  写入更新夹具(目录.子路径("fixture"), 策略, {{"Tallybell.exe", "exe"}, {"data/a.bin", "aaaa"}});
  const fs::path 来源 = 目录.子路径("fixture/releases/r1");
  写目录树(来源, {{"Tallybell.exe", "exe"}, {"complete.json", "{}"}, {"data/a.bin", "a"}});
  fs::permissions(来源 / "Tallybell.exe", fs::perms::all);
  fs::permissions(来源 / "data/a.bin", static_cast<fs::perms>(0666));
  fs::permissions(来源 / "complete.json", static_cast<fs::perms>(0604));
  本地版本状态 状态;
  状态.generation = 1;
  写状态文件(目录.子路径("offline-state"), 状态);
  const auto 运行 = [&](const char* 程序根, const char* 状态根, std::vector<std::string> 参数) {
    参数.insert(参数.end(), {"--offline-fixture", 目录.子路径("fixture").u8string(), "--program-root",
                             目录.子路径(程序根).u8string(), "--state-root", 目录.子路径(状态根).u8string()});
    return 运行更新程序(参数);
  };
  const mode_t 原掩码 = ::umask(0);  // child processes inherit it
  const auto 检查 = 运行("program", "state", {"--background-check"});
  const auto 准备 = 运行("offline-program", "offline-state", {"--prepare-release", "r1"});
  const auto 密钥 = 运行发布工具({"key", "generate", "--out", 路径文本(目录.子路径("signing.key"))});
  ::umask(原掩码);
  for (const auto* 结果 : {&检查, &准备, &密钥}) ASSERT_EQ(结果->退出码, 0u) << 结果->输出;

  // What the runs must have written, so that the walk below has something to judge.
  for (const char* 路径 : {"state/state/installation-id.txt", "program/releases/r2/complete.json",
                           "offline-program/releases/r1/complete.json"}) {
    EXPECT_TRUE(fs::is_regular_file(目录.子路径(路径))) << 路径;
  }
  EXPECT_TRUE(fs::is_regular_file(目录.子路径("state/cache/objects/sha256") / (测试SHA256("exe") + ".object")));
  ASSERT_FALSE(fs::is_empty(目录.子路径("state/results/pending")));
  for (const char* 根 : {"program", "state", "offline-program", "offline-state"}) {
    EXPECT_EQ(权限(目录.子路径(根)) & 022, 0u) << 根;
    for (const auto& 项 : fs::recursive_directory_iterator(目录.子路径(根))) {
      EXPECT_TRUE(项.is_symlink() || (权限(项.path()) & 022) == 0) << 项.path();
    }
  }
  const fs::path 目标 = 目录.子路径("offline-program/releases/r1");
  EXPECT_EQ(权限(目标 / "Tallybell.exe"), 0755u);
  EXPECT_EQ(权限(目标 / "data/a.bin"), 0644u);
  EXPECT_EQ(权限(目标 / "complete.json"), 0604u);
  EXPECT_EQ(权限(目录.子路径("signing.key")), 0600u);
  // The lock directory is the user's own and private; lock files are not even readable by
  // others.
  const fs::path 锁目录 = platform::用户命名空间路径();
  const struct stat 目录信息 = 属性(锁目录);
  EXPECT_TRUE(S_ISDIR(目录信息.st_mode) && (目录信息.st_mode & 07777) == 0700 && 目录信息.st_uid == ::geteuid());
  EXPECT_TRUE(fs::is_regular_file(锁目录 / "Tallybell-UpdateCoordinator-v1.lock"));
  for (const auto& 项 : fs::directory_iterator(锁目录)) {
    const struct stat 文件 = 属性(项.path());
    EXPECT_TRUE(S_ISREG(文件.st_mode) && (文件.st_mode & 077) == 0 && 文件.st_uid == ::geteuid()) << 项.path();
  }
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
  写入更新夹具(目录.子路径("fixture"), 夹具策略{}, {{"Tallybell.exe", "exe"}});
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
