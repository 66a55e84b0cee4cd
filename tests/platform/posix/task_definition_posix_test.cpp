// On POSIX the update core's own path is a POSIX path: absolute when it starts with '/',
// and normalised by text before it goes into the unit files.
#include <gtest/gtest.h>

#include "tasks/task_definition.h"

namespace tallybell {
namespace {

TEST(POSIX任务定义, 绝对路径按文字规范化) {
  const struct {
    const wchar_t* 路径;
    const wchar_t* 完整路径;
    const wchar_t* 工作目录;
  } 用例表[] = {
      {L"/opt/Tallybell/tallybell-update", L"/opt/Tallybell/tallybell-update", L"/opt/Tallybell"},
      {L"/opt//Tallybell/./bin/../tallybell-update", L"/opt/Tallybell/tallybell-update", L"/opt/Tallybell"},
      {L"//opt/Tallybell/tallybell-update/", L"/opt/Tallybell/tallybell-update", L"/opt/Tallybell"},
      {L"/../../tallybell-update", L"/tallybell-update", L""},
      {L"/opt/a b/..x/.../t", L"/opt/a b/..x/.../t", L"/opt/a b/..x/..."},
  };
  for (const auto& 用例 : 用例表) {
    后台更新任务定义 定义;
    std::wstring 错误 = L"stale";
    ASSERT_TRUE(构建后台更新任务定义(用例.路径, 754, &定义, &错误)) << 用例.路径;
    EXPECT_EQ(定义.executablePath, 用例.完整路径);
    EXPECT_EQ(定义.workingDirectory, 用例.工作目录);
    EXPECT_TRUE(错误.empty());
  }
}

TEST(POSIX任务定义, 没有前导斜杠的路径被拒绝) {
  for (const wchar_t* 路径 : {L"C:\\Tallybell\\tallybell-update.exe", L"C:/Tallybell/tallybell-update",
                              L"\\\\server\\share\\t", L"opt/t", L"~/t"}) {
    后台更新任务定义 定义;
    std::wstring 错误;
    EXPECT_FALSE(构建后台更新任务定义(路径, 754, &定义, &错误)) << 路径;
    EXPECT_EQ(错误, L"更新核心必须使用绝对路径。");
    std::wstring 输出;
    EXPECT_FALSE(是绝对路径(路径, &输出));
  }
}

}  // namespace
}  // namespace tallybell
