#include "tasks/task_delay.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/fault_injection.h"
#include "support/file_helpers.h"
#include "support/temp_dir.h"

namespace tallybell {
namespace {

using namespace 测试;

class 任务延迟 : public ::testing::Test {
 protected:
  std::filesystem::path 延迟文件() const { return 目录_.子路径("state") / "update-task-delay.txt"; }
  std::filesystem::path 备份文件() const { return 目录_.子路径("state") / "update-task-delay.txt.bak"; }
  std::wstring 状态根() const { return 目录_.宽路径(); }

  测试临时目录 目录_;
};

TEST_F(任务延迟, 损坏的存储值换成新的随机延迟并保留旧文件) {
  const std::string 用例表[] = {"59\n", "901\n", "0060\n", "7 5\n", "", "\r\n", "abc", "1000", " 754", "754 \n",
                               "+75", "75\n1"};
  for (const auto& 旧内容 : 用例表) {
    写测试文件(延迟文件(), 旧内容);
    std::uint32_t 延迟 = 0;
    ASSERT_TRUE(读取或创建任务延迟(状态根(), &延迟)) << 旧内容;
    EXPECT_GE(延迟, 60u) << 旧内容;
    EXPECT_LE(延迟, 900u) << 旧内容;
    EXPECT_EQ(读测试文件(延迟文件()), std::to_string(延迟) + "\n") << 旧内容;
    EXPECT_EQ(读测试文件(备份文件()), 旧内容);
  }
}

TEST_F(任务延迟, 没有文件时抽取一次之后一直沿用) {
  std::uint32_t 第一次 = 0, 第二次 = 0;
  ASSERT_TRUE(读取或创建任务延迟(状态根(), &第一次));
  EXPECT_GE(第一次, 60u);
  EXPECT_LE(第一次, 900u);
  EXPECT_EQ(读测试文件(延迟文件()), std::to_string(第一次) + "\n");
  EXPECT_FALSE(std::filesystem::exists(备份文件()));  // there was nothing to keep

  ASSERT_TRUE(读取或创建任务延迟(状态根(), &第二次));
  EXPECT_EQ(第二次, 第一次);
  EXPECT_EQ(目录内容(目录_.子路径("state")), std::vector<std::string>{"update-task-delay.txt"});
}

}  // namespace
}  // namespace tallybell
