// Standard output on Windows: raw bytes to whatever handle the starter passed, nothing
// without one.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "platform/console.h"

namespace tallybell::platform {
namespace {

// Swaps the process's standard output handle for the duration of a test.
class 替换标准输出 {
 public:
  explicit 替换标准输出(HANDLE 新句柄) : 旧句柄_(::GetStdHandle(STD_OUTPUT_HANDLE)) {
    ::SetStdHandle(STD_OUTPUT_HANDLE, 新句柄);
  }
  ~替换标准输出() { ::SetStdHandle(STD_OUTPUT_HANDLE, 旧句柄_); }
  替换标准输出(const 替换标准输出&) = delete;
  替换标准输出& operator=(const 替换标准输出&) = delete;

 private:
  HANDLE 旧句柄_;
};

TEST(WindowsConsole, WritesTheExactBytesToTheStandardOutputHandle) {
  HANDLE 读端 = nullptr, 写端 = nullptr;
  ASSERT_TRUE(::CreatePipe(&读端, &写端, nullptr, 0));
  const std::string 文本 = "错误 3001：未知更新命令。\n";
  {
    替换标准输出 替换(写端);
    写标准输出(文本.data(), 文本.size());
    写标准输出("x", 0);  // nothing at all
  }
  ::CloseHandle(写端);
  std::string 收到;
  char 缓冲[256];
  DWORD 读到 = 0;
  while (::ReadFile(读端, 缓冲, sizeof 缓冲, &读到, nullptr) && 读到 > 0) 收到.append(缓冲, 读到);
  ::CloseHandle(读端);
  EXPECT_EQ(收到, 文本);
}

TEST(WindowsConsole, WithoutAHandleNothingHappens) {
  for (HANDLE 无 : {static_cast<HANDLE>(nullptr), INVALID_HANDLE_VALUE}) {
    替换标准输出 替换(无);
    写标准输出("lost\n", 5);
    EXPECT_EQ(::GetStdHandle(STD_OUTPUT_HANDLE), 无);
  }
}

}  // namespace
}  // namespace tallybell::platform
