// The system description, the shell folders and CNG's 32-bit lengths on Windows.
#include <gtest/gtest.h>

#include <windows.h>

#include <regex>
#include <string>

#include "platform/sha256_engine.h"
#include "platform/system_info.h"
#include "platform/windows/windows_test_support.h"

namespace tallybell::platform {
namespace {

TEST(WindowsSystemInfo, DescriptionNamesTheKernelVersion) {
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

TEST(WindowsSystemInfo, ShellFoldersAreExistingAbsoluteDirectories) {
  for (const std::wstring& 文件夹 : {程序文件夹(), 公共数据文件夹()}) {
    ASSERT_GE(文件夹.size(), 3u);
    EXPECT_EQ(文件夹.substr(1, 2), L":\\");
    EXPECT_NE(文件夹.back(), L'\\');
    DWORD 属性 = ::GetFileAttributesW(文件夹.c_str());
    ASSERT_NE(属性, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(属性 & FILE_ATTRIBUTE_DIRECTORY);
  }
  EXPECT_NE(程序文件夹(), 公共数据文件夹());
  // A 64-bit process sees the 64-bit Program Files folder, not the x86 one.
  EXPECT_EQ(程序文件夹().find(L"(x86)"), std::wstring::npos);
}

// CNG takes a 32-bit length: a longer piece is refused before the data is touched.
TEST(WindowsSha256, PiecesAbove32BitsAreRefused) {
  SHA256引擎 引擎;
  ASSERT_TRUE(引擎.开始());
  EXPECT_FALSE(引擎.更新(nullptr, static_cast<std::size_t>(UINT32_MAX) + 1));
}

}  // namespace
}  // namespace tallybell::platform
