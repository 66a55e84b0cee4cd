// What only Windows has: what the Win32 file functions receive from the file-call table
// (every path in its full extended form), ReplaceFileW's half-done outcomes, and the
// manifest both programs carry.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

#include "platform/file_system.h"
#include "platform/system_info.h"
#include "platform/windows/long_path_win.h"
#include "platform/windows/win32_file_calls_win.h"
#include "support/file_helpers.h"
#include "support/temp_dir.h"

namespace tallybell::platform {
namespace {

using windows::Win32文件函数;
using windows::Win32文件调用;
using windows::长路径形式;
namespace fs = std::filesystem;

const Win32文件函数 系统 = Win32文件调用();
std::vector<std::wstring> 收到;

template <typename T>
void 记若是路径(T 参数) {
  if constexpr (std::is_same_v<T, LPCWSTR>) if (参数 != nullptr) 收到.emplace_back(参数);
}

// One entry of the table that records its path arguments, then calls the real function.
template <auto 成员, typename = std::decay_t<decltype(系统.*成员)>>
struct 记录调用;
template <auto 成员, typename R, typename... A>
struct 记录调用<成员, R (*)(A...)> {
  static R 调用(A... 参数) {
    (记若是路径(参数), ...);
    return (系统.*成员)(参数...);
  }
};

// While it lives, every Win32 file function of the table records the paths it receives.
template <auto... 成员>
struct 记录Win32路径 {
  记录Win32路径() { ((Win32文件调用().*成员 = &记录调用<成员>::调用), ..., 收到.clear()); }
  ~记录Win32路径() { Win32文件调用() = 系统; }
};
using W = Win32文件函数;
using 记录全部路径 = 记录Win32路径<&W::CreateFileW, &W::GetFileAttributesExW, &W::GetFileAttributesW,
                                    &W::SetFileAttributesW, &W::FindFirstFileW, &W::CreateDirectoryW, &W::DeleteFileW,
                                    &W::RemoveDirectoryW, &W::MoveFileExW, &W::ReplaceFileW, &W::CopyFileW>;

// The extended form is made from the full path; every entry of the table that takes a path
// hands the Win32 function that form, here for a folder 300 characters deep given with '/'
// and a ".." step.
TEST(Windows长路径, 文件调用表的每个路径调用都收到扩展形式) {
  for (const auto& [给定, 期望] : std::vector<std::pair<std::wstring, std::wstring>>{
           {L"C:/a/./b/../c", L"\\\\?\\C:\\a\\c"},
           {L"\\\\server\\share\\x\\..\\y", L"\\\\?\\UNC\\server\\share\\y"},
           {L"\\\\?\\C:\\a\\..\\kept", L"\\\\?\\C:\\a\\..\\kept"},
           {L"\\\\.\\pipe\\p", L"\\\\.\\pipe\\p"},
           {L"", L""}}) {
    EXPECT_EQ(长路径形式(给定), 期望);
  }
  测试::测试临时目录 目录;
  std::wstring 深 = 目录.宽路径();
  for (int i = 0; i < 6; ++i) {
    深 += L"/" + std::wstring(50, L'a' + i);
    ASSERT_TRUE(CreateDirectoryW(长路径形式(深).c_str(), nullptr));
  }
  const std::wstring 甲 = 深 + L"/x/../a.txt", 乙 = 深 + L"/b.txt", 丙 = 深 + L"/c.txt", 子目录 = 深 + L"/sub";
  记录全部路径 记录;
  const 文件调用表& 表 = 系统文件调用表();
  原生文件 句柄 = 无效文件;
  ASSERT_TRUE(表.打开(甲, 打开模式::独占新建写入, &句柄));
  表.关闭(句柄);
  文件信息 信息;
  std::vector<目录项> 项;
  bool 已存在 = false;
  // Each step must succeed: one of them refused a form it was given.
  EXPECT_TRUE(表.查询(甲, &信息) && 表.复制文件不覆盖(甲, 乙) && 表.移动不替换(乙, 丙));
  EXPECT_TRUE(表.复制文件不覆盖(甲, 乙) && 表.移动并替换(乙, 丙) && 表.复制文件不覆盖(甲, 乙));
  EXPECT_TRUE(表.替换并备份(丙, 乙, 深 + L"/c.bak") && 表.清除只读(丙) && 表.创建目录(子目录, &已存在));
  EXPECT_TRUE(表.枚举目录(深, &项) && 项.size() == 4u);
  EXPECT_TRUE(表.删除目录(子目录) && 表.删除文件(丙));
  ASSERT_GE(收到.size(), 18u);
  for (const std::wstring& 路径 : 收到) {
    EXPECT_EQ(路径.rfind(L"\\\\?\\", 0), 0u) << std::string(路径.begin(), 路径.end());
    EXPECT_EQ(路径.find_first_of(L"/"), std::wstring::npos);
    EXPECT_EQ(路径.find(L"\\..\\"), std::wstring::npos);
    EXPECT_GT(路径.size(), 300u);
  }
}

// ReplaceFileW can fail half-way. Without a backup name the old file may already be gone
// (the replacement is then moved in); with one, the old file may sit at the backup name
// (it is then put back). Either way the target keeps one complete content.
TEST(Windows文件, ReplaceFileW半途失败后目标仍有完整内容) {
  // With a backup name or not, the error ReplaceFileW reports, then the outcome.
  const std::tuple<bool, DWORD, bool, const char*> 用例[] = {
      {false, ERROR_UNABLE_TO_MOVE_REPLACEMENT, true, "new"},
      {true, ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, false, "old"},
      {true, ERROR_UNABLE_TO_MOVE_REPLACEMENT, false, "old"},
      {false, ERROR_ACCESS_DENIED, false, "old"},
  };
  static DWORD 错误 = 0;
  for (const auto& [有备份, 给出错误, 期望成功, 目标内容] : 用例) {
    测试::测试临时目录 目录;
    测试::写测试文件(目录.子路径("target"), "old");
    测试::写测试文件(目录.子路径("new"), "new");
    错误 = 给出错误;
    // The outcome Windows documents for each code: _2 leaves the old file at the backup
    // name, the plain code without a backup leaves it deleted.
    Win32文件调用().ReplaceFileW = [](LPCWSTR 目标, LPCWSTR, LPCWSTR 备份, DWORD, LPVOID, LPVOID) {
      if (错误 == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) 系统.MoveFileExW(目标, 备份, 0);
      if (错误 == ERROR_UNABLE_TO_MOVE_REPLACEMENT && 备份 == nullptr) 系统.DeleteFileW(目标);
      ::SetLastError(错误);
      return FALSE;
    };
    const bool 成功 = 系统文件调用表().替换并备份(目录.宽路径("target"), 目录.宽路径("new"),
                                                  有备份 ? 目录.宽路径("backup") : L"");
    Win32文件调用() = 系统;
    EXPECT_EQ(成功, 期望成功) << 错误;
    EXPECT_EQ(测试::读测试文件(目录.子路径("target")), 目标内容) << 错误;
    EXPECT_EQ(fs::exists(目录.子路径("new")), !期望成功) << 错误;
  }
}

// Both programs carry the long-path-aware manifest as resource 1 of type RT_MANIFEST.
TEST(Windows文件, 两个程序都带长路径清单) {
  for (const char* 程序 : {"tallybell-update.exe", "tallybell-publish.exe"}) {
    const auto 路径 = fs::path(本程序路径()).parent_path() / 程序;
    HMODULE 模块 = ::LoadLibraryExW(路径.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    HRSRC 资源 = 模块 != nullptr ? ::FindResourceW(模块, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24)) : nullptr;
    ASSERT_NE(资源, nullptr) << 程序;
    const std::string 清单(static_cast<const char*>(::LockResource(::LoadResource(模块, 资源))), ::SizeofResource(模块, 资源));
    EXPECT_NE(清单.find("<longPathAware xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">true</longPathAware>"),
              std::string::npos) << 程序;
    ::FreeLibrary(模块);
  }
}

}  // namespace
}  // namespace tallybell::platform
