#include <sys/stat.h>

#include <gtest/gtest.h>

#include "documents/sha256.h"
#include "storage/files.h"
#include "support/temp_dir.h"

namespace tallybell {
namespace {

// A FIFO where a document or release file belongs is refused at once instead of blocking
// the update until some writer opens it.
TEST(POSIX文件, 命名管道被拒绝而不阻塞) {
  测试::测试临时目录 目录;
  ASSERT_EQ(::mkfifo(目录.子路径("fifo").c_str(), 0600), 0);
  std::string 内容;
  EXPECT_FALSE(读取整个文件(目录.宽路径("fifo"), &内容));
  unsigned char 摘要[32];
  std::wstring 错误;
  EXPECT_FALSE(计算文件SHA256(目录.宽路径("fifo"), 摘要, &错误));
  EXPECT_EQ(错误, L"无法打开待计算 SHA-256 的文件。");
}

}  // namespace
}  // namespace tallybell
