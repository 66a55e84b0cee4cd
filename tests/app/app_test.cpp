#include <gtest/gtest.h>

#include "app/elevation_decision.h"
#include "app/repair_command.h"
#include "support/file_helpers.h"
#include "support/temp_dir.h"

namespace tallybell {
namespace {

using namespace 测试;

TEST(提升权限判断, 只有程序文件夹之内的程序根需要提升) {
  const struct {
    const wchar_t* 程序根;
    const wchar_t* 程序文件夹;
    bool 需要;
  } 用例表[] = {
      {L"C:\\Program Files\\Tallybell", L"C:\\Program Files", true},
      {L"c:\\program files\\TALLYBELL", L"C:\\Program Files", true},  // letter case ignored
      {L"C:\\Program Files", L"C:\\Program Files\\", true},           // trailing separator dropped
      {L"C:\\Program Files/Tallybell", L"C:\\Program Files", true},
      {L"C:\\Program Files (x86)\\Tallybell", L"C:\\Program Files", false},  // sibling, shared prefix
      {L"D:\\Tallybell", L"C:\\Program Files", false},
      {L"C:\\Program", L"C:\\Program Files", false},
      {L"", L"C:\\Program Files", false},
      {L"C:\\Program Files\\Tallybell", L"", false},
      {L"C:\\Tallybell", L"C:\\", true},  // a folder at a drive root keeps its separator
  };
  for (const auto& 项 : 用例表) {
    EXPECT_EQ(程序根需要提升权限(项.程序根, 项.程序文件夹), 项.需要) << 项.程序根 << L" in " << 项.程序文件夹;
  }
}

// The quoting and the flag at the end are checked with the re-launch itself (elevation_test);
// a flag already among the arguments is not passed twice.
TEST(提升权限判断, 子进程参数不重复标志) {
  EXPECT_EQ(提升权限参数({L"--elevated-background-check", L"--force-check"}, L"--elevated-background-check"),
            L"\"--force-check\" --elevated-background-check");
}

// The task repair command: its decisions with the operating-system services replaced.
class 任务修复命令 : public ::testing::Test {
 protected:
  void SetUp() override { 写测试文件(目录_.子路径("program") / "tallybell-update", "binary"); }

  std::uint32_t 运行(std::vector<std::wstring> 参数) {
    任务修复环境 环境;
    环境.取默认目录 = [this](默认目录* 输出) { return !(输出->stateRoot = 目录_.宽路径("default-state")).empty(); };
    环境.已提升权限 = [this] { return 已提升_; };
    环境.提升权限重新启动 = [this](const std::wstring& 参数) { 重新启动参数_.push_back(参数); return 子进程_; };
    环境.本程序路径 = [this] { return (目录_.子路径("program") / "tallybell-update").wstring(); };
    环境.注册任务 = [this](const 后台更新任务定义& 定义, std::wstring*) { 已注册_.push_back(定义); return true; };
    环境.写输出 = [](const std::string&) {};
    return 运行任务修复命令(命令行参数(std::move(参数)), 环境);
  }

  测试临时目录 目录_;
  bool 已提升_ = true;
  platform::重新启动结果 子进程_;
  std::vector<std::wstring> 重新启动参数_;
  std::vector<后台更新任务定义> 已注册_;
};

// Not elevated, the command runs itself elevated with the state root and returns the
// child's code; elevated (or flagged so), it registers the task, with the same stored delay
// each time.
TEST_F(任务修复命令, 未提升时以提升权限重新运行而已提升时直接修复) {
  已提升_ = false;
  子进程_.已启动 = 子进程_.有退出码 = true;
  子进程_.退出码 = 3017;
  EXPECT_EQ(运行({L"--repair-tasks", L"--state-root", L"D:\\状态 根\\"}), 3017u);
  EXPECT_EQ(重新启动参数_.back(), L"--repair-tasks --elevated-repair-tasks --state-root \"D:\\状态 根\\\\\"");
  子进程_.退出码 = 0;
  EXPECT_EQ(运行({L"--repair-tasks"}), 0u);
  EXPECT_EQ(重新启动参数_.back(),
            L"--repair-tasks --elevated-repair-tasks --state-root \"" + 目录_.宽路径("default-state") + L"\"");
  EXPECT_TRUE(已注册_.empty());
  EXPECT_FALSE(std::filesystem::exists(目录_.子路径("default-state")));

  for (bool 已提升 : {true, false}) {
    已提升_ = 已提升;
    EXPECT_EQ(运行({L"--repair-tasks", L"--elevated-repair-tasks", L"--state-root", 目录_.宽路径("state")}), 0u);
  }
  EXPECT_EQ(重新启动参数_.size(), 2u);
  ASSERT_EQ(已注册_.size(), 2u);
  const std::uint32_t 延迟 = static_cast<std::uint32_t>(std::stoul(读测试文件(目录_.子路径("state/state/update-task-delay.txt"))));
  EXPECT_EQ(已注册_[0].delaySeconds, 延迟);
  EXPECT_EQ(已注册_[1].delaySeconds, 延迟);
  EXPECT_EQ(std::filesystem::path(已注册_[0].executablePath), 目录_.子路径("program") / "tallybell-update");
  EXPECT_EQ(已注册_[0].arguments, L"--background-check");
}

}  // namespace
}  // namespace tallybell
