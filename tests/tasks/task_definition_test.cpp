#include "tasks/task_definition.h"

#include <gtest/gtest.h>

#include "support/file_helpers.h"
#include "support/temp_dir.h"

namespace tallybell {
namespace {

TEST(后台更新任务定义, 填写固定值和由延迟得出的值) {
  后台更新任务定义 定义;
  填写后台更新任务定义(L"C:\\Program Files\\Tallybell\\tallybell-update.exe", 754, &定义);
  EXPECT_EQ(定义.taskName, L"Tallybell后台更新");
  EXPECT_EQ(定义.executablePath, L"C:\\Program Files\\Tallybell\\tallybell-update.exe");
  EXPECT_EQ(定义.workingDirectory, L"C:\\Program Files\\Tallybell");
  EXPECT_EQ(定义.arguments, L"--background-check");
  EXPECT_EQ(定义.logonDelay, L"PT754S");
  EXPECT_EQ(定义.restartInterval, L"PT1H");
  EXPECT_EQ(定义.delaySeconds, 754u);
  EXPECT_EQ(定义.restartCount, 3u);
  EXPECT_TRUE(定义.runWithHighestPrivileges);
  EXPECT_TRUE(定义.startWhenAvailable);
  EXPECT_TRUE(定义.ignoreNewInstances);
}

TEST(后台更新任务定义, 工作目录取最后一个分隔符之前的部分) {
  const struct {
    const wchar_t* 路径;
    const wchar_t* 工作目录;
  } 用例表[] = {
      {L"C:\\tallybell-update.exe", L"C:"},  // only the separator after the drive letter
      {L"\\\\server\\share\\bin\\tallybell-update.exe", L"\\\\server\\share\\bin"},
      {L"/opt/Tallybell/tallybell-update", L"/opt/Tallybell"},
      {L"/tallybell-update", L""},
      {L"tallybell-update", L""},
  };
  for (const auto& 用例 : 用例表) {
    后台更新任务定义 定义;
    填写后台更新任务定义(用例.路径, 60, &定义);
    EXPECT_EQ(定义.workingDirectory, 用例.工作目录) << 用例.路径;
  }
}

TEST(后台更新任务定义, 延迟决定登录延迟和每日开始时刻) {
  const struct {
    std::uint32_t 延迟;
    const wchar_t* 登录延迟;
    const wchar_t* 每日时刻;
  } 用例表[] = {{60, L"PT60S", L"00:01:00"}, {754, L"PT754S", L"00:12:34"}, {900, L"PT900S", L"00:15:00"}};
  for (const auto& 用例 : 用例表) {
    后台更新任务定义 定义;
    填写后台更新任务定义(L"C:\\t.exe", 用例.延迟, &定义);
    EXPECT_EQ(定义.logonDelay, 用例.登录延迟);
    EXPECT_EQ(每日开始时刻(用例.延迟), 用例.每日时刻);
  }
  platform::本地时刻 今天;
  今天.年 = 2024;
  今天.月 = 3;
  今天.日 = 7;
  今天.时 = 18;  // the time of day of the registration does not matter
  EXPECT_EQ(每日开始边界(今天, 754), L"2024-03-07T00:12:34");
  EXPECT_EQ(每日开始边界(今天, 60), L"2024-03-07T00:01:00");
  EXPECT_EQ(每日开始边界(今天, 3661), L"2024-03-07T01:01:01");
}

TEST(后台更新任务定义, 绝对路径的两种写法规则) {
  const struct {
    const wchar_t* 路径;
    bool Windows;
    bool POSIX;
  } 用例表[] = {
      {L"C:\\a.exe", true, false},  {L"c:/a.exe", true, false},       {L"Z:\\", true, false},
      {L"\\\\srv\\s\\a", true, false}, {L"\\\\?\\C:\\a", true, false}, {L"C:a.exe", false, false},
      {L"C:", false, false},        {L"1:\\a.exe", false, false},     {L"\\a.exe", false, false},
      {L"/opt/a", false, true},     {L"//srv/a", false, true},        {L"a/b", false, false},
      {L"./a", false, false},       {L"", false, false},              {L"\u00e9:\\a", false, false},
  };
  for (const auto& 用例 : 用例表) {
    EXPECT_EQ(是Windows绝对路径形式(用例.路径), 用例.Windows) << 用例.路径;
    EXPECT_EQ(是POSIX绝对路径形式(用例.路径), 用例.POSIX) << 用例.路径;
  }
}

TEST(后台更新任务定义, 构建拒绝越界延迟和相对路径) {
  测试::测试临时目录 目录;
  const std::wstring 程序 = 目录.宽路径("tallybell-update");
  后台更新任务定义 定义;
  定义.taskName = L"unchanged";
  std::wstring 错误 = L"stale";
  for (std::uint32_t 延迟 : {0u, 59u, 901u, 86400u}) {
    EXPECT_FALSE(构建后台更新任务定义(程序, 延迟, &定义, &错误)) << 延迟;
    EXPECT_EQ(错误, L"后台更新任务延迟必须位于 60 到 900 秒之间。");
  }
  EXPECT_FALSE(构建后台更新任务定义(程序, 754, nullptr, &错误));
  EXPECT_EQ(错误, L"后台更新任务延迟必须位于 60 到 900 秒之间。");
  for (const wchar_t* 路径 : {L"tallybell-update", L"bin/tallybell-update", L"./tallybell-update", L""}) {
    EXPECT_FALSE(构建后台更新任务定义(路径, 754, &定义, &错误)) << 路径;
    EXPECT_EQ(错误, L"更新核心必须使用绝对路径。");
  }
  EXPECT_FALSE(构建后台更新任务定义(程序 + std::wstring(1, L'\0') + L"x", 754, &定义, &错误));
  EXPECT_EQ(错误, L"更新核心必须使用绝对路径。");
  EXPECT_EQ(定义.taskName, L"unchanged");
  EXPECT_FALSE(构建后台更新任务定义(L"", 60, &定义, nullptr));  // no message wanted
}

TEST(后台更新任务定义, 构建接受本机绝对路径并清除消息) {
  测试::测试临时目录 目录;
  const std::wstring 程序 = 目录.宽路径("tallybell-update");
  后台更新任务定义 定义;
  std::wstring 错误 = L"stale";
  ASSERT_TRUE(构建后台更新任务定义(程序, 900, &定义, &错误));
  EXPECT_TRUE(错误.empty());
  EXPECT_EQ(定义.executablePath, 程序);  // already normalised
  EXPECT_EQ(std::filesystem::path(定义.workingDirectory), 目录.路径());
  EXPECT_EQ(定义.logonDelay, L"PT900S");
  EXPECT_TRUE(构建后台更新任务定义(程序, 60, &定义, nullptr));
  EXPECT_EQ(定义.delaySeconds, 60u);
}

}  // namespace
}  // namespace tallybell
