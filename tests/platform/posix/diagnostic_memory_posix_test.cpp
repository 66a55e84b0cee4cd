// The POSIX side of the diagnostic channel: the per-user namespace directory and the
// files in it, which must be the application's own (links, modes, owners, sizes).
#include "platform/diagnostic_memory.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "common/text.h"
#include "diagnostics/diagnostic_line.h"
#include "platform/posix/user_namespace.h"
#include "support/diagnostic_channel_fixture.h"
#include "support/temp_dir.h"

namespace tallybell::platform {
namespace {

using 测试::测试诊断通道;
namespace fs = std::filesystem;

// Sets XDG_RUNTIME_DIR (or removes it) for one scope.
class 运行目录替换 {
 public:
  explicit 运行目录替换(const char* 值) {
    if (const char* 原值 = std::getenv("XDG_RUNTIME_DIR")) 原值_ = 原值;
    if (值 != nullptr) {
      ::setenv("XDG_RUNTIME_DIR", 值, 1);
    } else {
      ::unsetenv("XDG_RUNTIME_DIR");
    }
  }
  ~运行目录替换() {
    if (原值_) {
      ::setenv("XDG_RUNTIME_DIR", 原值_->c_str(), 1);
    } else {
      ::unsetenv("XDG_RUNTIME_DIR");
    }
  }

 private:
  std::optional<std::string> 原值_;
};

std::string 映射路径(const std::string& 标识) {
  std::string 路径;
  EXPECT_TRUE(宽转UTF8(诊断映射名称(标识), &路径));
  return 路径;
}

bool 写一行(const std::string& 标识) {
  bool 已调用 = false;
  写诊断结果行(标识, "quarantine-commit", 0, [&] {
    已调用 = true;
    return std::string("{}");
  });
  return 已调用;
}

TEST(DiagnosticMemoryPosix, NamespacePathFollowsRuntimeDirectory) {
  const std::string 回退 = "/tmp/Tallybell-" + 十进制(::geteuid());
  {
    运行目录替换 替换("/run/user/77/");
    EXPECT_EQ(用户命名空间路径(), "/run/user/77/Tallybell");
    EXPECT_EQ(诊断映射名称("a-1"), L"/run/user/77/Tallybell/Tallybell.UpdateDiagnostic.a-1");
  }
  {
    运行目录替换 替换("relative/dir");
    EXPECT_EQ(用户命名空间路径(), 回退);
  }
  {
    运行目录替换 替换(nullptr);
    EXPECT_EQ(用户命名空间路径(), 回退);
  }
}

TEST(DiagnosticMemoryPosix, NamespaceCreatedPrivateOrRefused) {
  测试::测试临时目录 目录;
  运行目录替换 替换(目录.路径().c_str());
  const fs::path 命名空间 = 目录.路径() / "Tallybell";
  std::string 结果 = "stale";
  ASSERT_TRUE(取用户命名空间目录(&结果));
  EXPECT_EQ(结果, 命名空间.string());
  struct stat 信息 {};
  ASSERT_EQ(::lstat(命名空间.c_str(), &信息), 0);
  EXPECT_EQ(信息.st_mode & 07777, 0700u);

  // A symbolic link to a perfectly good directory is refused.
  fs::rename(命名空间, 目录.路径() / "real");
  fs::create_directory_symlink(目录.路径() / "real", 命名空间);
  EXPECT_FALSE(取用户命名空间目录(&结果));
  EXPECT_TRUE(结果.empty());
  fs::remove(命名空间);

  // So is a file in its place.
  { std::ofstream(命名空间.string()) << "x"; }
  EXPECT_FALSE(取用户命名空间目录(&结果));
  fs::remove(命名空间);

  // The parent must exist already.
  运行目录替换 无父目录((目录.路径() / "missing").c_str());
  EXPECT_FALSE(取用户命名空间目录(&结果));
  EXPECT_FALSE(fs::exists(目录.路径() / "missing"));
}

TEST(DiagnosticMemoryPosix, NamespaceOwnedByAnotherUserIsRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to hand the directory to another user";
  测试诊断通道 通道("owner");
  ASSERT_TRUE(通道.已创建());
  const std::string 命名空间 = fs::path(映射路径("owner")).parent_path().string();
  ASSERT_EQ(::chown(命名空间.c_str(), 65534, 65534), 0);
  诊断共享内存 内存;
  内存.打开("owner");
  EXPECT_FALSE(内存.有映射());
  EXPECT_FALSE(内存.有锁());
  EXPECT_FALSE(写一行("owner"));
}

TEST(DiagnosticMemoryPosix, NoViewWithoutTheLockFileAndNoLinkFollowed) {
  测试诊断通道 通道("files");
  ASSERT_TRUE(通道.已创建());
  const std::string 映射 = 映射路径("files");
  // A missing lock file: the mapping opens but no view is mapped.
  fs::rename(映射 + ".Lock", 映射 + ".Lock.away");
  诊断共享内存 无锁;
  无锁.打开("files");
  EXPECT_TRUE(无锁.有映射());
  EXPECT_FALSE(无锁.有锁());
  EXPECT_EQ(无锁.视图(), nullptr);
  EXPECT_FALSE(fs::exists(映射 + ".Lock"));  // never created by the update core
  fs::rename(映射 + ".Lock.away", 映射 + ".Lock");

  // A link in place of the mapping file is not followed.
  fs::rename(映射, 映射 + ".real");
  fs::create_symlink(映射 + ".real", 映射);
  诊断共享内存 链接;
  链接.打开("files");
  EXPECT_FALSE(链接.有映射());
  EXPECT_EQ(链接.视图(), nullptr);
}

TEST(DiagnosticMemoryPosix, MappingFileShorterThanTheViewIsRefused) {
  测试诊断通道 通道("short");
  ASSERT_TRUE(通道.已创建());
  ASSERT_EQ(::truncate(映射路径("short").c_str(), 诊断视图字节数 - 1), 0);
  诊断共享内存 内存;
  内存.打开("short");
  EXPECT_EQ(内存.视图(), nullptr);
  EXPECT_FALSE(写一行("short"));
}

}  // namespace
}  // namespace tallybell::platform
