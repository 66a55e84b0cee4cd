// The task repair command: its decisions with the operating-system services replaced,
// and the built program where it cannot reach the real scheduler.
#include "app/repair_command.h"

#include <gtest/gtest.h>

#include <optional>

#include "support/file_helpers.h"
#include "support/program_runner.h"
#include "support/temp_dir.h"

namespace tallybell {
namespace {

using namespace 测试;

class 任务修复命令 : public ::testing::Test {
 protected:
  void SetUp() override { 写测试文件(目录_.子路径("program") / "tallybell-update", "binary"); }

  任务修复环境 环境() {
    任务修复环境 环境;
    环境.取默认目录 = [this](默认目录* 输出) {
      if (!有默认目录_) return false;
      输出->stateRoot = 目录_.宽路径("default-state");
      return true;
    };
    环境.已提升权限 = [this] { return 已提升_; };
    环境.提升权限重新启动 = [this](const std::wstring& 参数) {
      重新启动参数_.push_back(参数);
      return 子进程_;
    };
    环境.本程序路径 = [this] { return 本程序_; };
    环境.注册任务 = [this](const 后台更新任务定义& 定义, std::wstring* 错误) {
      已注册_.push_back(定义);
      if (注册失败消息_) *错误 = *注册失败消息_;
      return !注册失败消息_;
    };
    环境.写输出 = [this](const std::string& 文本) { 输出_ += 文本; };
    return 环境;
  }

  std::uint32_t 运行(std::vector<std::wstring> 参数) {
    输出_.clear();
    return 运行任务修复命令(命令行参数(std::move(参数)), 环境());
  }
  std::wstring 状态根() const { return 目录_.宽路径("state"); }
  std::filesystem::path 延迟文件() const { return 目录_.子路径("state") / "state" / "update-task-delay.txt"; }

  测试临时目录 目录_;
  bool 有默认目录_ = true;
  bool 已提升_ = true;
  platform::重新启动结果 子进程_;
  std::wstring 本程序_ = (目录_.子路径("program") / "tallybell-update").wstring();
  std::optional<std::wstring> 注册失败消息_;
  std::vector<std::wstring> 重新启动参数_;
  std::vector<后台更新任务定义> 已注册_;
  std::string 输出_;
};

TEST_F(任务修复命令, 未提升时带着状态目录以提升权限重新运行并返回子进程退出码) {
  已提升_ = false;
  子进程_.已启动 = 子进程_.有退出码 = true;
  for (std::uint32_t 子进程退出码 : {0u, 3017u, 3001u}) {
    子进程_.退出码 = 子进程退出码;
    EXPECT_EQ(运行({L"--repair-tasks", L"--state-root", L"D:\\状态 根\\"}), 子进程退出码);
    EXPECT_EQ(输出_, "");
  }
  EXPECT_EQ(重新启动参数_.back(), L"--repair-tasks --elevated-repair-tasks --state-root \"D:\\状态 根\\\\\"");
  EXPECT_EQ(运行({L"--repair-tasks"}), 3001u);
  EXPECT_EQ(重新启动参数_.back(),
            L"--repair-tasks --elevated-repair-tasks --state-root \"" + 目录_.宽路径("default-state") + L"\"");
  EXPECT_TRUE(已注册_.empty());
  EXPECT_FALSE(std::filesystem::exists(目录_.子路径("default-state")));
}

TEST_F(任务修复命令, 已提升或带提升标志时直接修复且两次使用同一延迟) {
  for (bool 已提升 : {true, false}) {
    已提升_ = 已提升;
    EXPECT_EQ(运行({L"--repair-tasks", L"--elevated-repair-tasks", L"--state-root", 状态根()}), 0u);
    EXPECT_EQ(输出_, "background update task ready\n");
  }
  EXPECT_TRUE(重新启动参数_.empty());
  ASSERT_EQ(已注册_.size(), 2u);
  const std::uint32_t 延迟 = static_cast<std::uint32_t>(std::stoul(读测试文件(延迟文件())));
  EXPECT_EQ(已注册_[0].delaySeconds, 延迟);
  EXPECT_EQ(已注册_[1].delaySeconds, 延迟);
  EXPECT_EQ(已注册_[1].logonDelay, 已注册_[0].logonDelay);
  EXPECT_EQ(std::filesystem::path(已注册_[0].executablePath), 目录_.子路径("program") / "tallybell-update");
  EXPECT_EQ(已注册_[0].arguments, L"--background-check");
}

}  // namespace
}  // namespace tallybell
