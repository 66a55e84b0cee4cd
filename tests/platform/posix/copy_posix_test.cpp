// The file copy of the platform table between two different file systems, where the
// kernel's in-place copy is refused (EXDEV) and the copy must still succeed.
#include <stdlib.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/file_system.h"
#include "support/file_helpers.h"
#include "support/temp_dir.h"

namespace tallybell {
namespace {

using namespace 测试;

// A directory in /dev/shm (tmpfs), removed with its content.
class 内存盘目录 {
 public:
  内存盘目录() {
    char 模板[] = "/dev/shm/tallybell-copy-XXXXXX";
    if (::mkdtemp(模板) != nullptr) 路径_ = 模板;
  }
  ~内存盘目录() {
    std::error_code 错误;
    if (!路径_.empty()) std::filesystem::remove_all(路径_, 错误);
  }
  内存盘目录(const 内存盘目录&) = delete;
  内存盘目录& operator=(const 内存盘目录&) = delete;
  const std::filesystem::path& 路径() const { return 路径_; }

 private:
  std::filesystem::path 路径_;
};

bool 同一设备(const std::filesystem::path& 甲, const std::filesystem::path& 乙) {
  struct stat 信息甲 {}, 信息乙 {};
  return ::stat(甲.c_str(), &信息甲) == 0 && ::stat(乙.c_str(), &信息乙) == 0 && 信息甲.st_dev == 信息乙.st_dev;
}

std::string 图样(std::size_t 大小) {
  std::string 内容(大小, '\0');
  for (std::size_t i = 0; i < 大小; ++i) 内容[i] = static_cast<char>((i * 131 + i / 7) & 0xFF);
  return 内容;
}

// Empty, one byte, exactly one read block, and several blocks with a short tail.
TEST(POSIX复制, 跨文件系统复制完整内容) {
  内存盘目录 源目录;
  测试临时目录 目标目录;
  if (源目录.路径().empty() || 同一设备(源目录.路径(), 目标目录.路径())) {
    GTEST_SKIP() << "no second file system at /dev/shm";
  }
  for (const std::size_t 大小 : {std::size_t{0}, std::size_t{1}, std::size_t{1048576}, std::size_t{3 * 1048576 + 5}}) {
    SCOPED_TRACE(大小);
    const std::string 名称 = "f" + std::to_string(大小);
    const std::string 内容 = 图样(大小);
    写测试文件(源目录.路径() / 名称, 内容);
    ASSERT_TRUE(platform::系统文件调用表().复制文件不覆盖((源目录.路径() / 名称).wstring(), 目标目录.宽路径(名称)));
    EXPECT_EQ(读测试文件(目标目录.子路径(名称)), 内容);
  }
}

// The fallback copy keeps the no-overwrite rule: an existing target stays as it was.
TEST(POSIX复制, 跨文件系统不覆盖已有目标) {
  内存盘目录 源目录;
  测试临时目录 目标目录;
  if (源目录.路径().empty() || 同一设备(源目录.路径(), 目标目录.路径())) {
    GTEST_SKIP() << "no second file system at /dev/shm";
  }
  写测试文件(源目录.路径() / "f", "new");
  写测试文件(目标目录.子路径("f"), "old");
  EXPECT_FALSE(platform::系统文件调用表().复制文件不覆盖((源目录.路径() / "f").wstring(), 目标目录.宽路径("f")));
  EXPECT_EQ(读测试文件(目标目录.子路径("f")), "old");
}

}  // namespace
}  // namespace tallybell
