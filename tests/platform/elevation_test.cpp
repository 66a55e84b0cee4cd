// The background check's elevated re-launch, with the token query and the shell's start
// stood in for (the real start would ask for consent): what it passes on, relays and
// prints when the start fails.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "app/commands.h"
#include "platform/elevation.h"
#include "platform/system_info.h"

namespace tallybell::platform {
namespace {

TEST(提升重新启动, 程序根在程序文件夹下时后台检查以提升权限重新运行) {
  // The stand-in start answers 给定结果 and keeps the parameters it was given.
  static 重新启动结果 给定结果;
  static std::wstring 收到参数;
  const 提升调用表 原来 = 提升调用();
  提升调用().已提升权限 = [] { return false; };
  提升调用().提升权限重新启动 = [](const std::wstring& 参数) { return 收到参数 = 参数, 给定结果; };
  const std::tuple<重新启动结果, std::uint32_t, std::string> 用例[] = {
      {{false, false, 0, 1223}, 3020, "background update elevation failed windows-error=1223\n"},
      {{true, true, 7, 0}, 7, ""},
      {{true, false, 0, 0}, 3020, ""},
  };
  const std::wstring 程序根 = 程序文件夹() + L"/Tallybell Updater";
  for (const auto& [结果, 期望退出码, 输出] : 用例) {
    给定结果 = 结果;
    收到参数.clear();
    ::testing::internal::CaptureStdout();
    const std::uint32_t 退出码 = 运行后台检查命令(命令行参数({L"--background-check", L"--program-root", 程序根}));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), 输出);
    EXPECT_EQ(退出码, 期望退出码);
    EXPECT_EQ(收到参数, L"\"--background-check\" \"--program-root\" \"" + 程序根 + L"\" --elevated-background-check");
  }
  提升调用() = 原来;
}

}  // namespace
}  // namespace tallybell::platform
