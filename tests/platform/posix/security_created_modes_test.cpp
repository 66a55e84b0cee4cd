// What the update core creates must not be changeable by other local users, whatever the
// umask of whoever starts it: the state, the policy, the identity, the cache, the results
// queue, the release directories and the lock files.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/posix/user_namespace.h"
#include "publish/publish_test_support.h"
#include "support/file_helpers.h"
#include "support/lock_namespace.h"
#include "support/program_runner.h"
#include "support/state_files.h"
#include "support/temp_dir.h"
#include "support/tree_compare.h"
#include "support/update_fixture.h"

namespace tallybell {
namespace {

namespace fs = std::filesystem;
using namespace 测试;

// Sets the process umask for the lifetime of the object; child processes inherit it.
class 掩码替换 {
 public:
  explicit 掩码替换(mode_t 掩码) : 原掩码_(::umask(掩码)) {}
  ~掩码替换() { ::umask(原掩码_); }
  掩码替换(const 掩码替换&) = delete;
  掩码替换& operator=(const 掩码替换&) = delete;

 private:
  mode_t 原掩码_;
};

mode_t 权限(const fs::path& 路径) {
  struct stat 信息 {};
  EXPECT_EQ(::lstat(路径.c_str(), &信息), 0) << 路径;
  return 信息.st_mode & 07777;
}

// Every entry below 根 (and 根 itself) whose mode lets group or others write.
std::vector<std::string> 他人可写的条目(const fs::path& 根) {
  std::vector<std::string> 结果;
  if ((权限(根) & 022) != 0) 结果.push_back(根.string());
  for (const auto& 项 : fs::recursive_directory_iterator(根)) {
    if (!项.is_symlink() && (权限(项.path()) & 022) != 0) 结果.push_back(项.path().string());
  }
  return 结果;
}

TEST(创建的文件权限, 零掩码下后台检查留下的一切都不可被他人写) {
  私有锁命名空间 锁空间;
  测试临时目录 目录;
  夹具策略 策略;
  策略.resultReportUrls.clear();  // the result event stays queued, so the queue is checked too
  写入更新夹具(目录.子路径("fixture"), 策略, {{"Tallybell.exe", "exe"}, {"data/a.bin", "aaaa"}});
  const fs::path 程序根 = 目录.子路径("program");
  const fs::path 状态根 = 目录.子路径("state");
  程序结果 结果;
  {
    掩码替换 掩码(0);
    结果 = 运行更新程序({"--background-check", "--offline-fixture", 目录.子路径("fixture").u8string(),
                        "--program-root", 程序根.u8string(), "--state-root", 状态根.u8string()});
  }
  ASSERT_EQ(结果.退出码, 0u) << 结果.输出;

  // What the run must have written, so that the walk below has something to judge.
  for (const fs::path& 路径 : {状态根 / "state/installation-id.txt", 程序根 / "releases/r2/complete.json",
                               状态根 / "cache/objects/sha256" / (测试SHA256("exe") + ".object")}) {
    EXPECT_TRUE(fs::is_regular_file(路径)) << 路径;
  }
  ASSERT_FALSE(fs::is_empty(状态根 / "results/pending"));

  EXPECT_EQ(他人可写的条目(程序根), std::vector<std::string>{});
  EXPECT_EQ(他人可写的条目(状态根), std::vector<std::string>{});
  // Lock files are not even readable by others.
  for (const auto& 项 : fs::directory_iterator(platform::用户命名空间路径())) {
    EXPECT_EQ(权限(项.path()) & 077, 0u) << 项.path();
  }
}

// A release copied from a fixture keeps its execute bits but never the write access that
// the fixture's files gave to group and others; the publishing tool's private key is the
// owner's alone.
TEST(创建的文件权限, 离线准备不带来源的组与他人写权限而私钥只属于所有者) {
  私有锁命名空间 锁空间;
  测试临时目录 目录;
  const fs::path 来源 = 目录.子路径("fixture/releases/r1");
  写目录树(来源, {{"Tallybell.exe", "exe"}, {"complete.json", "{}"}, {"data/a.bin", "a"}});
  fs::permissions(来源 / "Tallybell.exe", fs::perms::all);
  fs::permissions(来源 / "data/a.bin", static_cast<fs::perms>(0666));
  fs::permissions(来源 / "complete.json", static_cast<fs::perms>(0604));
  本地版本状态 状态;
  状态.generation = 1;
  写状态文件(目录.子路径("state"), 状态);
  {
    掩码替换 掩码(0);
    const auto 结果 = 运行更新程序({"--offline-fixture", 目录.子路径("fixture").u8string(), "--prepare-release", "r1",
                                     "--program-root", 目录.子路径("program").u8string(), "--state-root",
                                     目录.子路径("state").u8string()});
    ASSERT_EQ(结果.退出码, 0u) << 结果.输出;
    ASSERT_EQ(运行发布工具({"key", "generate", "--out", 路径文本(目录.子路径("signing.key"))}).退出码, 0u);
  }
  const fs::path 目标 = 目录.子路径("program/releases/r1");
  EXPECT_EQ(权限(目标 / "Tallybell.exe"), 0755u);
  EXPECT_EQ(权限(目标 / "data/a.bin"), 0644u);
  EXPECT_EQ(权限(目标 / "complete.json"), 0604u);
  EXPECT_EQ(他人可写的条目(目录.子路径("program")), std::vector<std::string>{});
  EXPECT_EQ(他人可写的条目(目录.子路径("state")), std::vector<std::string>{});
  EXPECT_EQ(权限(目录.子路径("signing.key")), 0600u);
}

}  // namespace
}  // namespace tallybell
