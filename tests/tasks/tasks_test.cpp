#include <gtest/gtest.h>

#include <filesystem>

#include "support/file_helpers.h"
#include "support/temp_dir.h"
#include "tasks/task_definition.h"
#include "tasks/task_delay.h"

namespace tallybell {
namespace {

using namespace 测试;

TEST(后台更新任务定义, 构建拒绝越界延迟和相对路径) {
  测试临时目录 目录;
  const std::wstring 程序 = 目录.宽路径("tallybell-update");
  后台更新任务定义 定义;
  定义.taskName = L"unchanged";
  std::wstring 错误;
  for (std::uint32_t 延迟 : {0u, 59u, 901u}) EXPECT_FALSE(构建后台更新任务定义(程序, 延迟, &定义, &错误)) << 延迟;
  const std::wstring 相对或无效[] = {L"tallybell-update", L"./tallybell-update", L"", 程序 + L'\0' + L"x"};
  for (const std::wstring& 路径 : 相对或无效) EXPECT_FALSE(构建后台更新任务定义(路径, 754, &定义, &错误));
  EXPECT_EQ(定义.taskName, L"unchanged");
}

// The delay is drawn once and kept; a damaged stored value is replaced by a new draw and
// kept aside in the backup.
TEST(任务延迟, 抽取一次之后沿用且损坏的值被换掉) {
  测试临时目录 目录;
  const auto 延迟文件 = 目录.子路径("state/update-task-delay.txt");
  std::uint32_t 第一次 = 0, 第二次 = 0;
  ASSERT_TRUE(读取或创建任务延迟(目录.宽路径(), &第一次));
  ASSERT_TRUE(读取或创建任务延迟(目录.宽路径(), &第二次));
  EXPECT_EQ(第二次, 第一次);
  EXPECT_EQ(目录内容(目录.子路径("state")), std::vector<std::string>{"update-task-delay.txt"});
  // Rounds enough that a draw outside 60 to 900 would show.
  for (int 轮 = 0; 轮 < 12; ++轮) {
    for (const std::string 旧内容 : {"59\n", "901\n", "0060\n", "7 5\n", "", "abc", " 754", "754 \n", "+75", "75\n1"}) {
      写测试文件(延迟文件, 旧内容);
      std::uint32_t 延迟 = 0;
      ASSERT_TRUE(读取或创建任务延迟(目录.宽路径(), &延迟)) << 旧内容;
      ASSERT_GE(延迟, 60u) << 旧内容;
      ASSERT_LE(延迟, 900u) << 旧内容;
      EXPECT_EQ(读测试文件(延迟文件), std::to_string(延迟) + "\n") << 旧内容;
      EXPECT_EQ(读测试文件(目录.子路径("state/update-task-delay.txt.bak")), 旧内容);
    }
  }
}

}  // namespace
}  // namespace tallybell
