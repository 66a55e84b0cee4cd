// The dispatcher as an operator meets it: the built program, its lines and exit codes.
#include <gtest/gtest.h>

#include "support/program_runner.h"

namespace tallybell {
namespace {

const std::string 用法 =
    "Tallybell更新核心\n"
    "用法：\n"
    "  --background-check [--force-check] [--recover-unusable-state]\n"
    "  --offline-fixture <目录> --prepare-release <releaseId> [--program-root <目录> --state-root <目录>]\n"
    "  --repair-tasks\n"
    "  --report-result [--result-url <HTTPS地址>] [--state-root <目录>]\n";
const std::string 版本 = "Tallybell updater 0.1.0.37 x64\n";
const std::string 未知命令 = "错误 3001：未知更新命令。\n";

TEST(命令分派, 帮助版本和未知命令) {
  struct 用例 {
    std::vector<std::string> 参数;
    std::string 输出;
    std::uint32_t 退出码;
  };
  const 用例 用例表[] = {
      {{}, 用法, 0},
      {{"--help"}, 用法, 0},
      {{"--background-check", "--version", "--help"}, 用法, 0},  // help beats everything
      {{"--version"}, 版本, 0},
      {{"--repair-tasks", "--version"}, 版本, 0},                 // version beats commands
      {{"--Help"}, 未知命令, 3001},                                // exact, case-sensitive
      {{"--help=yes"}, 未知命令, 3001},
      {{"--versio"}, 未知命令, 3001},                              // no abbreviations
      {{"background-check"}, 未知命令, 3001},
      {{"--force-check"}, 未知命令, 3001},                         // an option is no command
  };
  for (const auto& 项 : 用例表) {
    const auto 结果 = 测试::运行更新程序(项.参数);
    ASSERT_TRUE(结果.已运行);
    EXPECT_EQ(结果.输出, 项.输出) << (项.参数.empty() ? "" : 项.参数[0]);
    EXPECT_EQ(结果.退出码, 测试::可观察退出码(项.退出码)) << (项.参数.empty() ? "" : 项.参数[0]);
  }
}

}  // namespace
}  // namespace tallybell
