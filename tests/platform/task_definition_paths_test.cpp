// The update core's own path as the task gets it: absolute by the rules of the platform,
// normalised before it goes into the task, and refused when it would be resolved against a
// current directory or drive.
#include <gtest/gtest.h>

#include "common/text.h"
#include "tasks/task_definition.h"

namespace tallybell {
namespace {

struct 路径用例 {
  const wchar_t* 路径;
  const wchar_t* 完整路径;  // nullptr: refused
  const wchar_t* 工作目录;
};

#ifdef _WIN32
const 路径用例 用例表[] = {
    {L"C:/Program Files/Tallybell/../Tallybell/bin/./tallybell-update.exe",
     L"C:\\Program Files\\Tallybell\\bin\\tallybell-update.exe", L"C:\\Program Files\\Tallybell\\bin"},
    {L"C:\\..\\..\\tallybell-update.exe", L"C:\\tallybell-update.exe", L"C:"},
    {L"c:/tallybell-update.exe", L"c:\\tallybell-update.exe", L"c:"},
    {L"\\\\server\\share\\bin\\..\\tallybell-update.exe", L"\\\\server\\share\\tallybell-update.exe",
     L"\\\\server\\share"},
    {L"tallybell-update.exe", nullptr, nullptr},      {L"bin\\tallybell-update.exe", nullptr, nullptr},
    {L"\\tallybell-update.exe", nullptr, nullptr},    {L"/tallybell-update.exe", nullptr, nullptr},
    {L"C:tallybell-update.exe", nullptr, nullptr},    {L"C:", nullptr, nullptr},
};
#else
const 路径用例 用例表[] = {
    {L"/opt//Tallybell/./bin/../tallybell-update", L"/opt/Tallybell/tallybell-update", L"/opt/Tallybell"},
    {L"//opt/Tallybell/tallybell-update/", L"/opt/Tallybell/tallybell-update", L"/opt/Tallybell"},
    {L"/../../tallybell-update", L"/tallybell-update", L""},
    {L"/opt/a b/..x/.../t", L"/opt/a b/..x/.../t", L"/opt/a b/..x/..."},
    {L"C:\\Tallybell\\tallybell-update.exe", nullptr, nullptr}, {L"C:/Tallybell/t", nullptr, nullptr},
    {L"\\\\server\\share\\t", nullptr, nullptr},             {L"opt/t", nullptr, nullptr},
    {L"~/t", nullptr, nullptr},
};
#endif

TEST(任务定义路径, 绝对路径被规范化而相对路径被拒绝) {
  for (const auto& 用例 : 用例表) {
    后台更新任务定义 定义;
    std::wstring 错误 = L"stale";
    const bool 接受 = 构建后台更新任务定义(用例.路径, 754, &定义, &错误);
    ASSERT_EQ(接受, 用例.完整路径 != nullptr) << 宽转UTF8宽松(用例.路径);
    if (!接受) {
      EXPECT_EQ(错误, L"更新核心必须使用绝对路径。");
      continue;
    }
    EXPECT_EQ(定义.executablePath, 用例.完整路径) << 宽转UTF8宽松(定义.executablePath);
    EXPECT_EQ(定义.workingDirectory, 用例.工作目录) << 宽转UTF8宽松(定义.workingDirectory);
    EXPECT_TRUE(错误.empty());
  }
}

}  // namespace
}  // namespace tallybell
