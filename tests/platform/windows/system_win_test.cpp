// What only Windows has: the system description, the shell folders, CNG's 32-bit lengths,
// standard output without a handle, and token elevation with the elevated re-launch.
#include <gtest/gtest.h>

#include <windows.h>

#include <regex>
#include <string>

#include "platform/console.h"
#include "platform/elevation.h"
#include "platform/sha256_engine.h"
#include "platform/system_info.h"
#include "platform/windows/windows_test_support.h"

namespace tallybell::platform {
namespace {

TEST(WindowsSystemInfo, DescriptionNamesTheKernelAndShellFoldersAreAbsoluteDirectories) {
  for (const std::wstring& 文件夹 : {程序文件夹(), 公共数据文件夹()}) {
    const DWORD 属性 = ::GetFileAttributesW(文件夹.c_str());
    EXPECT_TRUE(属性 != INVALID_FILE_ATTRIBUTES && (属性 & FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_TRUE(文件夹.size() >= 3 && 文件夹.substr(1, 2) == L":\\" && 文件夹.back() != L'\\');
  }
  // A 64-bit process sees the 64-bit Program Files folder, not the x86 one.
  EXPECT_TRUE(程序文件夹() != 公共数据文件夹() && 程序文件夹().find(L"(x86)") == std::wstring::npos);
  const std::wstring 描述 = 系统描述();
  std::wsmatch 匹配;
  ASSERT_TRUE(std::regex_match(描述, 匹配, std::wregex(LR"(Windows ([1-9][0-9]*)\.(0|[1-9][0-9]*) build ([1-9][0-9]*) x64)")))
      << "description: " << std::string(描述.begin(), 描述.end());
  if (测试::在Wine下运行()) {
    GTEST_SKIP() << "Wine 8 reports the kernel as 6.1.7601 (Windows 7); version check skipped";
  }
  // The kernel's own version, which no compatibility shim lowers: Windows 10 or later.
  EXPECT_GE(std::stoul(匹配[1].str()), 10u);
  EXPECT_GE(std::stoul(匹配[3].str()), 10240u);
}

// CNG takes a 32-bit length: a longer piece is refused before the data is touched. A
// windowless program started by the scheduler has no standard output: writing is a no-op.
TEST(WindowsSystemInfo, LongHashPiecesAreRefusedAndOutputWithoutAHandleIsDropped) {
  SHA256引擎 引擎;
  ASSERT_TRUE(引擎.开始());
  EXPECT_FALSE(引擎.更新(nullptr, static_cast<std::size_t>(UINT32_MAX) + 1));
  const HANDLE 原来 = ::GetStdHandle(STD_OUTPUT_HANDLE);
  for (HANDLE 无 : {static_cast<HANDLE>(nullptr), INVALID_HANDLE_VALUE}) {
    ::SetStdHandle(STD_OUTPUT_HANDLE, 无);
    写标准输出("lost\n", 5);
    EXPECT_EQ(::GetStdHandle(STD_OUTPUT_HANDLE), 无);
  }
  ::SetStdHandle(STD_OUTPUT_HANDLE, 原来);
}

TEST(WindowsElevation, RelaunchRelaysTheChildsFullExitCode) {
  // Elevated already, "runas" starts the child without a consent prompt. Wine 8 reports
  // every token as elevated, so there the token query must say so.
  ASSERT_TRUE(已提升权限() || !测试::在Wine下运行());
  if (!已提升权限()) GTEST_SKIP() << "not elevated: re-launching would ask for consent";
  // The test program's entry answers this option by exiting with the given code.
  const 重新启动结果 结果 = 提升权限重新启动(L"\"--tallybell-test-exit-code\" \"3017\"");
  ASSERT_TRUE(结果.已启动) << "system error " << 结果.系统错误;
  ASSERT_TRUE(结果.有退出码);
  EXPECT_EQ(结果.退出码, 3017u);
}

}  // namespace
}  // namespace tallybell::platform
