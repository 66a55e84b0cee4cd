// On Windows the update core's path is normalised by GetFullPathNameW before it goes into
// the task: forward slashes become backslashes and '.' and '..' are resolved.
#include <gtest/gtest.h>

#include "common/text.h"
#include "tasks/task_definition.h"

namespace tallybell {
namespace {

TEST(Windows任务定义, 驱动器和共享路径被规范化) {
  const struct {
    const wchar_t* 路径;
    const wchar_t* 完整路径;
    const wchar_t* 工作目录;
  } 用例表[] = {
      {L"C:/Program Files/Tallybell/../Tallybell/bin/./tallybell-update.exe",
       L"C:\\Program Files\\Tallybell\\bin\\tallybell-update.exe", L"C:\\Program Files\\Tallybell\\bin"},
      {L"D:\\Tallybell\\tallybell-update.exe", L"D:\\Tallybell\\tallybell-update.exe", L"D:\\Tallybell"},
      {L"C:\\tallybell-update.exe", L"C:\\tallybell-update.exe", L"C:"},
      {L"C:\\..\\..\\tallybell-update.exe", L"C:\\tallybell-update.exe", L"C:"},
      {L"c:/tallybell-update.exe", L"c:\\tallybell-update.exe", L"c:"},
      {L"\\\\server\\share\\bin\\..\\tallybell-update.exe", L"\\\\server\\share\\tallybell-update.exe",
       L"\\\\server\\share"},
  };
  for (const auto& 用例 : 用例表) {
    后台更新任务定义 定义;
    std::wstring 错误 = L"stale";
    ASSERT_TRUE(构建后台更新任务定义(用例.路径, 60, &定义, &错误)) << 宽转UTF8宽松(用例.路径);
    EXPECT_EQ(定义.executablePath, 用例.完整路径) << 宽转UTF8宽松(定义.executablePath);
    EXPECT_EQ(定义.workingDirectory, 用例.工作目录) << 宽转UTF8宽松(定义.workingDirectory);
    EXPECT_TRUE(错误.empty());
  }
}

TEST(Windows任务定义, 没有驱动器或双反斜杠的路径被拒绝) {
  // Each of these would be resolved against the current directory or drive.
  for (const wchar_t* 路径 : {L"tallybell-update.exe", L"bin\\tallybell-update.exe", L"\\tallybell-update.exe",
                              L"/tallybell-update.exe", L"C:tallybell-update.exe", L"C:"}) {
    后台更新任务定义 定义;
    std::wstring 错误;
    EXPECT_FALSE(构建后台更新任务定义(路径, 60, &定义, &错误)) << 宽转UTF8宽松(路径);
    EXPECT_EQ(错误, L"更新核心必须使用绝对路径。");
  }
}

}  // namespace
}  // namespace tallybell
