// The diagnostic channel the application creates, opened by the update core: the same
// contract on both builds, with the channel made the application's way by the fixture
// and spoiled the way each platform's application could get it wrong.
#include "platform/diagnostic_memory.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#ifdef _WIN32
#include <windows.h>

#include "platform/windows/handles_win.h"
#else
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <utility>
#include <vector>

#include "common/text.h"
#include "platform/posix/user_namespace.h"
#include "support/environment_guard.h"
#include "support/temp_dir.h"
#endif

#include "diagnostics/diagnostic_line.h"
#include "support/diagnostic_channel_fixture.h"

namespace tallybell::platform {
namespace {

using 测试::测试诊断通道;

bool 写一行(const std::string& 标识) {
  bool 已调用 = false;
  写诊断结果行(标识, "quarantine-commit", 0, [&] { return 已调用 = true, std::string("{}"); });
  return 已调用;
}

// The update core opens the channel the application made and shares its memory, and never
// creates one the application did not make (twice: had the first opening created anything,
// the second would find it). Another holder of the lock makes it wait a bounded time and
// drop the line; a holder that died leaves the lock to be taken.
TEST(诊断共享内存, 打开应用创建的通道并共享它的内存而不创建别的通道) {
  测试诊断通道 应用("contract-open");
  ASSERT_TRUE(应用.已创建());
  诊断共享内存 通道;
  const auto 期望无通道 = [&] {
    EXPECT_FALSE(通道.有映射() || 通道.有锁() || 通道.视图() != nullptr || 通道.加锁(0) != 加锁结果::错误);
    通道.解锁();  // harmless without a lock
  };
  for (int 次 = 0; 次 < 2; ++次) {
    通道.打开("contract-absent");
    期望无通道();
  }
  通道.打开("contract-open");
  EXPECT_FALSE(写一行("contract-absent"));
  ASSERT_TRUE(通道.有映射() && 通道.有锁() && 通道.视图() != nullptr);
  ASSERT_EQ(通道.加锁(200), 加锁结果::取得);
  // The view's last byte, written by the update core, is seen by the application (its
  // first ones by the lines written below).
  通道.视图()[诊断视图字节数 - 1] = 0x5A;
  通道.解锁();
  EXPECT_EQ(应用.视图()[诊断视图字节数 - 1], 0x5A);

  ASSERT_TRUE(应用.别处持锁(true));
  EXPECT_EQ(通道.加锁(30), 加锁结果::超时);
  EXPECT_TRUE(写一行("contract-open"));  // formatted, then dropped
  EXPECT_EQ(应用.已用(), 0u);
  ASSERT_TRUE(应用.别处持锁(false));
  ASSERT_TRUE(应用.锁持有者死去());
  EXPECT_EQ(通道.加锁(200), 加锁结果::取得);
  通道.解锁();
  EXPECT_TRUE(写一行("contract-open"));
  EXPECT_NE(应用.已用(), 0u);
  通道.关闭();
  期望无通道();
}

#ifdef _WIN32
// A pagefile-backed mapping without its mutex, or one too small for the view.
struct 有缺陷的通道 {
  有缺陷的通道(const std::string& 标识, bool 缺锁)
      : 映射(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 缺锁 ? 诊断视图字节数 : 4096,
                                  诊断映射名称(标识).c_str())),
        锁(缺锁 ? nullptr : ::CreateMutexW(nullptr, FALSE, (诊断映射名称(标识) + L".Lock").c_str())) {}
  windows::作用域句柄 映射, 锁;
};
#else
// What only POSIX has: the per-user namespace directory and the files in it, which must be
// the application's own (links, modes, owners, sizes).
namespace fs = std::filesystem;

std::string 映射路径(const std::string& 标识) { return 宽转UTF8宽松(诊断映射名称(标识)); }

// A channel without its lock file, or with a mapping file shorter than the view.
struct 有缺陷的通道 {
  有缺陷的通道(const std::string& 标识, bool 缺锁) : 通道(标识) {
    if (缺锁) fs::remove(映射路径(标识) + ".Lock");
    if (!缺锁) fs::resize_file(映射路径(标识), 诊断视图字节数 - 1);
  }
  测试诊断通道 通道;
};

TEST(DiagnosticMemoryPosix, NamespaceFollowsAnAbsoluteRuntimeDirectoryAndIsPrivateOrRefused) {
  const std::string 回退 = "/tmp/Tallybell-" + 十进制(::geteuid());
  for (const auto& [运行目录, 命名空间] : std::vector<std::pair<std::optional<std::string>, std::string>>{
           {"/run/user/77/", "/run/user/77/Tallybell"}, {"relative/dir", 回退}, {std::nullopt, 回退}}) {
    测试::环境变量保护 替换("XDG_RUNTIME_DIR", 运行目录);
    EXPECT_EQ(用户命名空间路径(), 命名空间);
  }
  测试::测试临时目录 目录;
  测试::环境变量保护 替换("XDG_RUNTIME_DIR", 目录.路径().string());
  EXPECT_EQ(诊断映射名称("a-1"), 目录.宽路径("Tallybell/Tallybell.UpdateDiagnostic.a-1"));
  const fs::path 命名空间 = 目录.路径() / "Tallybell";
  std::string 结果 = "stale";
  ASSERT_TRUE(取用户命名空间目录(&结果));
  EXPECT_EQ(结果, 命名空间.string());  // its modes and owner: security_created_modes_test.cpp

  // A symbolic link to a perfectly good directory is refused, and so is a file.
  fs::rename(命名空间, 目录.路径() / "real");
  fs::create_directory_symlink(目录.路径() / "real", 命名空间);
  EXPECT_FALSE(取用户命名空间目录(&结果));
  EXPECT_TRUE(结果.empty());
  fs::remove(命名空间);
  { std::ofstream(命名空间.string()) << "x"; }
  EXPECT_FALSE(取用户命名空间目录(&结果));

  // The parent must exist already.
  替换.设置("XDG_RUNTIME_DIR", (目录.路径() / "missing").string());
  EXPECT_FALSE(取用户命名空间目录(&结果));
  EXPECT_FALSE(fs::exists(目录.路径() / "missing"));
}

// A link in place of the mapping file is not followed; a namespace directory owned by
// another user is not used at all.
TEST(DiagnosticMemoryPosix, NoLinkFollowedAndNoNamespaceOfAnotherUser) {
  测试诊断通道 通道("files");
  ASSERT_TRUE(通道.已创建());
  const std::string 映射 = 映射路径("files");
  fs::rename(映射, 映射 + ".real");
  fs::create_symlink(映射 + ".real", 映射);
  诊断共享内存 链接;
  链接.打开("files");
  EXPECT_FALSE(链接.有映射());
  fs::remove(映射);
  fs::rename(映射 + ".real", 映射);
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to hand the directory to another user";
  ASSERT_EQ(::chown(fs::path(映射).parent_path().c_str(), 65534, 65534), 0);
  诊断共享内存 内存;
  内存.打开("files");
  EXPECT_FALSE(内存.有映射() || 内存.有锁());
  EXPECT_FALSE(写一行("files"));
}
#endif

// Channels the application could have made wrong get no view, so nothing is written: a
// mapping without its lock (which the update core does not create either), or one too
// small for the view.
TEST(诊断共享内存, 没有锁或映射过短时没有视图) {
  for (const bool 缺锁 : {true, false}) {
    const std::string 标识 = "spoilt-" + std::to_string(std::random_device()());
    const 有缺陷的通道 通道(标识, 缺锁);
    诊断共享内存 内存, 再次;
    内存.打开(标识);
    EXPECT_TRUE(内存.有映射());
    EXPECT_EQ(内存.有锁(), !缺锁);
    EXPECT_EQ(内存.视图(), nullptr);
    EXPECT_FALSE(写一行(标识));
    再次.打开(标识);
    EXPECT_EQ(再次.有锁(), !缺锁);  // had the first opening made a lock, this one would find it
  }
}

}  // namespace
}  // namespace tallybell::platform
