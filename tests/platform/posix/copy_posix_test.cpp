// The file copy of the platform table: between two different file systems, where the
// kernel's in-place copy is refused (EXDEV) and the copy must still succeed, and on disk
// when it returns.
#include <fcntl.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

// On a file system that allocates blocks lazily (ext4, xfs), data not yet flushed has
// extents marked as delayed: a copy that returned must have none.
TEST(POSIX复制, 复制返回时内容已在磁盘上) {
  测试临时目录 目录;
  写测试文件(目录.子路径("source"), std::string(1 << 20, 'x'));
  ASSERT_TRUE(platform::系统文件调用表().复制文件不覆盖(目录.宽路径("source"), 目录.宽路径("copy")));
  std::vector<char> 缓冲(sizeof(fiemap) + 16 * sizeof(fiemap_extent));
  auto* 映射 = reinterpret_cast<fiemap*>(缓冲.data());
  映射->fm_length = FIEMAP_MAX_OFFSET;
  映射->fm_extent_count = 16;
  const int 描述符 = ::open(目录.子路径("copy").c_str(), O_RDONLY | O_CLOEXEC);
  const int 结果 = ::ioctl(描述符, FS_IOC_FIEMAP, 映射);
  ::close(描述符);
  if (结果 != 0) GTEST_SKIP() << "this file system has no extent map";
  ASSERT_GT(映射->fm_mapped_extents, 0u);
  for (unsigned i = 0; i < 映射->fm_mapped_extents; ++i) {
    EXPECT_EQ(映射->fm_extents[i].fe_flags & FIEMAP_EXTENT_DELALLOC, 0u) << i;
  }
}

}  // namespace
}  // namespace tallybell
