#include "app/elevation_decision.h"

#include <gtest/gtest.h>

namespace tallybell {
namespace {

TEST(提升权限判断, 只有程序文件夹之内的程序根需要提升) {
  struct 用例 {
    const wchar_t* 程序根;
    const wchar_t* 程序文件夹;
    bool 需要;
  };
  const 用例 用例表[] = {
      {L"C:\\Program Files\\Tallybell", L"C:\\Program Files", true},
      {L"c:\\program files\\TALLYBELL", L"C:\\Program Files", true},  // letter case ignored
      {L"C:\\Program Files", L"C:\\Program Files\\", true},           // trailing separator dropped
      {L"C:\\Program Files/Tallybell", L"C:\\Program Files", true},
      {L"C:\\Program Files (x86)\\Tallybell", L"C:\\Program Files", false},  // sibling, shared prefix
      {L"C:\\Program FilesX", L"C:\\Program Files", false},
      {L"D:\\Tallybell", L"C:\\Program Files", false},
      {L"C:\\Program", L"C:\\Program Files", false},
      {L"", L"C:\\Program Files", false},
      {L"C:\\Program Files\\Tallybell", L"", false},
      {L"/opt/Tallybell", L"/opt", true},
      {L"/optional/Tallybell", L"/opt", false},
      {L"C:\\Tallybell", L"C:\\", true},  // a folder at a drive root keeps its separator
  };
  for (const auto& 项 : 用例表) {
    EXPECT_EQ(程序根需要提升权限(项.程序根, 项.程序文件夹), 项.需要) << 项.程序根 << L" in " << 项.程序文件夹;
  }
}

TEST(提升权限判断, 子进程参数逐个引用并以标志结尾) {
  EXPECT_EQ(提升权限参数({L"--background-check", L"--state-root", L"C:\\a b\\"}, L"--elevated-background-check"),
            L"\"--background-check\" \"--state-root\" \"C:\\a b\\\\\" --elevated-background-check");
  EXPECT_EQ(提升权限参数({L"--elevated-background-check", L"--force-check"}, L"--elevated-background-check"),
            L"\"--force-check\" --elevated-background-check");
  EXPECT_EQ(提升权限参数({}, L"--elevated-background-check"), L"--elevated-background-check");
}

}  // namespace
}  // namespace tallybell
