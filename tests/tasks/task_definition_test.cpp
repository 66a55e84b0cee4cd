#include "tasks/task_definition.h"

#include <gtest/gtest.h>

#include "support/file_helpers.h"
#include "support/temp_dir.h"

namespace tallybell {
namespace {

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

}  // namespace
}  // namespace tallybell
