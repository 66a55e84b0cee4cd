// The system description, the shell folders and CNG's 32-bit lengths on Windows.
#include <gtest/gtest.h>

#include <windows.h>

#include <cwctype>
#include <string>

#include "platform/sha256_engine.h"
#include "platform/system_info.h"
#include "platform/windows/windows_test_support.h"

namespace tallybell::platform {
namespace {

// Reads a decimal number at 位置 and moves past it; false when there is none or it has
// a leading zero.
bool 读数字(const std::wstring& 文本, std::size_t* 位置, unsigned long* 值) {
  std::size_t 开始 = *位置;
  while (*位置 < 文本.size() && std::iswdigit(文本[*位置])) ++*位置;
  if (*位置 == 开始 || (*位置 - 开始 > 1 && 文本[开始] == L'0')) return false;
  *值 = std::wcstoul(文本.substr(开始, *位置 - 开始).c_str(), nullptr, 10);
  return true;
}

bool 读文字(const std::wstring& 文本, std::size_t* 位置, const std::wstring& 文字) {
  if (文本.compare(*位置, 文字.size(), 文字) != 0) return false;
  *位置 += 文字.size();
  return true;
}

TEST(WindowsSystemInfo, DescriptionNamesTheKernelVersion) {
  const std::wstring 描述 = 系统描述();
  std::size_t 位置 = 0;
  unsigned long 主 = 0, 次 = 0, 内部版本 = 0;
  ASSERT_TRUE(读文字(描述, &位置, L"Windows ") && 读数字(描述, &位置, &主) && 读文字(描述, &位置, L".") &&
              读数字(描述, &位置, &次) && 读文字(描述, &位置, L" build ") &&
              读数字(描述, &位置, &内部版本) && 读文字(描述, &位置, L" x64") && 位置 == 描述.size())
      << "description: " << std::string(描述.begin(), 描述.end());
  if (测试::在Wine下运行()) {
    GTEST_SKIP() << "Wine 8 reports the kernel as 6.1.7601 (Windows 7); version check skipped";
  }
  // The kernel's own version, which no compatibility shim lowers: Windows 10 or later.
  EXPECT_GE(主, 10u);
  EXPECT_GE(内部版本, 10240u);
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
