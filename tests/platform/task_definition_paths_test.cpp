// The update core's own path as the task gets it: absolute by the rules of the platform,
// normalised before it goes into the task, and refused when it would be resolved against a
// current directory or drive.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "common/text.h"
#include "tasks/task_definition.h"

namespace tallybell {
namespace {

// The path given, and the program path and working directory the task gets ("full|folder"),
// or nullptr when the path is refused.
#ifdef _WIN32
const std::pair<const wchar_t*, const wchar_t*> 用例表[] = {
    {L"C:/Program Files/Tallybell/../Tallybell/bin/./tallybell-update.exe",
     L"C:\\Program Files\\Tallybell\\bin\\tallybell-update.exe|C:\\Program Files\\Tallybell\\bin"},
    {L"C:\\..\\..\\tallybell-update.exe", L"C:\\tallybell-update.exe|C:"},
    {L"c:/tallybell-update.exe", L"c:\\tallybell-update.exe|c:"},
    {L"\\\\server\\share\\bin\\..\\tallybell-update.exe", L"\\\\server\\share\\tallybell-update.exe|\\\\server\\share"},
    {L"tallybell-update.exe", nullptr}, {L"bin\\tallybell-update.exe", nullptr}, {L"\\tallybell-update.exe", nullptr},
    {L"/tallybell-update.exe", nullptr}, {L"C:tallybell-update.exe", nullptr},    {L"C:", nullptr},
};
#else
const std::pair<const wchar_t*, const wchar_t*> 用例表[] = {
    {L"/opt//Tallybell/./bin/../tallybell-update", L"/opt/Tallybell/tallybell-update|/opt/Tallybell"},
    {L"//opt/Tallybell/tallybell-update/", L"/opt/Tallybell/tallybell-update|/opt/Tallybell"},
    {L"/../../tallybell-update", L"/tallybell-update|"},
    {L"/opt/a b/..x/.../t", L"/opt/a b/..x/.../t|/opt/a b/..x/..."},
    {L"C:\\Tallybell\\tallybell-update.exe", nullptr}, {L"C:/Tallybell/t", nullptr}, {L"\\\\server\\share\\t", nullptr},
    {L"opt/t", nullptr}, {L"~/t", nullptr},
};
#endif

TEST(任务定义路径, 绝对路径被规范化而相对路径被拒绝) {
  for (const auto& [路径, 期望] : 用例表) {
    后台更新任务定义 定义;
    std::wstring 错误 = L"stale";
    const bool 接受 = 构建后台更新任务定义(路径, 754, &定义, &错误);
    EXPECT_EQ(接受, 期望 != nullptr) << 宽转UTF8宽松(路径);
    EXPECT_EQ(接受 ? 定义.executablePath + L"|" + 定义.workingDirectory : 错误,
              期望 != nullptr ? 期望 : L"更新核心必须使用绝对路径。") << 宽转UTF8宽松(路径);
    EXPECT_EQ(接受, 错误.empty());
  }
}

}  // namespace
}  // namespace tallybell
