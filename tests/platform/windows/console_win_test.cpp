// Standard output on Windows without a handle: a windowless program started by the
// scheduler has none. (The bytes written with one are what every test of the built
// program reads.)
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

TEST(WindowsConsole, WithoutAHandleNothingHappens) {
  for (HANDLE 无 : {static_cast<HANDLE>(nullptr), INVALID_HANDLE_VALUE}) {
    替换标准输出 替换(无);
    写标准输出("lost\n", 5);
    EXPECT_EQ(::GetStdHandle(STD_OUTPUT_HANDLE), 无);
  }
}

}  // namespace
}  // namespace tallybell::platform
