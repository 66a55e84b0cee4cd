// The file copy of the platform table between two different file systems, where the
// kernel's in-place copy is refused (EXDEV) and the copy must still succeed.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/file_system.h"
#include "support/environment_guard.h"
#include "support/file_helpers.h"
#include "support/temp_dir.h"

namespace tallybell {
namespace {

using namespace 测试;

// Empty, one byte, exactly one read block, and several blocks with a short tail; the
// fallback copy keeps the no-overwrite rule.
TEST(POSIX复制, 跨文件系统复制完整内容且不覆盖已有目标) {
  测试临时目录 目标目录;
  环境变量保护 内存盘("TMPDIR", "/dev/shm");
  测试临时目录 源目录;
  struct stat 源 {}, 目标 {};
  if (::stat(源目录.路径().c_str(), &源) != 0 || ::stat(目标目录.路径().c_str(), &目标) != 0 || 源.st_dev == 目标.st_dev) {
    GTEST_SKIP() << "no second file system at /dev/shm";
  }
  const auto& 表 = platform::系统文件调用表();
  for (const std::size_t 大小 : {std::size_t{0}, std::size_t{1}, std::size_t{1048576}, std::size_t{3 * 1048576 + 5}}) {
    SCOPED_TRACE(大小);
    const std::string 名称 = "f" + std::to_string(大小);
    std::string 内容(大小, '\0');
    for (std::size_t i = 0; i < 大小; ++i) 内容[i] = static_cast<char>((i * 131 + i / 7) & 0xFF);
    写测试文件(源目录.子路径(名称), 内容);
    ASSERT_TRUE(表.复制文件不覆盖(源目录.宽路径(名称), 目标目录.宽路径(名称)));
    EXPECT_EQ(读测试文件(目标目录.子路径(名称)), 内容);
  }
  写测试文件(目标目录.子路径("f"), "old");
  写测试文件(源目录.子路径("f"), "new");
  EXPECT_FALSE(表.复制文件不覆盖(源目录.宽路径("f"), 目标目录.宽路径("f")));
  EXPECT_EQ(读测试文件(目标目录.子路径("f")), "old");
}

}  // namespace
}  // namespace tallybell
