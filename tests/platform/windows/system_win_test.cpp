// What only Windows has: the system description, the shell folders, CNG's 32-bit lengths,
// standard output without a handle, token elevation with the elevated re-launch, and the
// Task Scheduler registration. Under Wine the registration runs as far as Wine implements
// the interfaces, and the first step Wine lacks must be the one reported, with its
// HRESULT; only the read-back of a registered task, which Wine cannot reach, is skipped
// there.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <taskschd.h>

#include <random>
#include <regex>
#include <string>
#include <thread>

#include "common/text.h"
#include "platform/console.h"
#include "platform/elevation.h"
#include "platform/sha256_engine.h"
#include "platform/system_info.h"
#include "platform/task_scheduler.h"
#include "platform/windows/handles_win.h"
#include "tasks/task_definition.h"

namespace tallybell::platform {
namespace {

// Wine exports this from its ntdll; Windows does not.
bool 在Wine下运行() {
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

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
  if (在Wine下运行()) {
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
  ASSERT_TRUE(已提升权限() || !在Wine下运行());
  if (!已提升权限()) GTEST_SKIP() << "not elevated: re-launching would ask for consent";
  // The test program's entry answers this option by exiting with the given code.
  const 重新启动结果 结果 = 提升权限重新启动(L"\"--tallybell-test-exit-code\" \"3017\"");
  ASSERT_TRUE(结果.已启动) << "system error " << 结果.系统错误;
  ASSERT_TRUE(结果.有退出码);
  EXPECT_EQ(结果.退出码, 3017u);
}

// Wine 8 accepts every step up to the principal, whose setters it does not implement.
const std::wstring Wine的第一个缺口 = L"设置任务登录类型失败，HRESULT=2147500033";  // E_NOTIMPL

// The scheduler's root folder; empty when the scheduler cannot be reached. The caller keeps
// COM initialised while it is held.
windows::COM指针<ITaskFolder> 根目录() {
  windows::COM指针<ITaskService> 服务;
  windows::COM指针<ITaskFolder> 根;
  VARIANT 空{};  // VT_EMPTY
  BSTR 根名 = ::SysAllocString(L"\\");
  if (SUCCEEDED(::CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService,
                                   reinterpret_cast<void**>(服务.接收()))) &&
      SUCCEEDED(服务->Connect(空, 空, 空, 空))) {
    服务->GetFolder(根名, 根.接收());
  }
  ::SysFreeString(根名);
  return 根;
}

// A definition under a name of its own, so that a run on a real machine never touches the
// product's task; whatever got registered under that name is deleted again.
struct 测试任务 {
  测试任务() {
    填写后台更新任务定义(L"C:\\Program Files\\Tallybell\\tallybell-update.exe", 754, &定义);
    定义.taskName = L"Tallybell测试-" + std::to_wstring(std::random_device()());
    名称 = ::SysAllocString(定义.taskName.c_str());
  }
  ~测试任务() {
    windows::COM初始化 com;
    if (auto 根 = 根目录()) 根->DeleteTask(名称, 0);  // absent when nothing was registered
    ::SysFreeString(名称);
  }
  测试任务(const 测试任务&) = delete;
  测试任务& operator=(const 测试任务&) = delete;
  后台更新任务定义 定义;
  BSTR 名称 = nullptr;
};

// The registration enters COM only where the calling thread has not: a thread in the
// single-threaded apartment keeps it, and a fresh thread is left uninitialised again.
TEST(WindowsTaskScheduler, TheFirstMissingStepIsReportedAndTheCallersApartmentIsKept) {
  for (const bool 调用方已初始化 : {true, false}) {
    std::thread([调用方已初始化] {
      测试任务 任务;
      if (调用方已初始化) { ASSERT_EQ(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK); }
      std::wstring 错误 = L"stale";
      const bool 成功 = 注册后台更新任务(任务.定义, &错误);
      if (在Wine下运行()) {
        // The text names the principal step, so every step before it succeeded.
        EXPECT_EQ(错误, Wine的第一个缺口);
        EXPECT_FALSE(注册后台更新任务(任务.定义, nullptr));
      }
      EXPECT_EQ(成功, 错误.empty());
      // Still in the caller's apartment, one more initialisation only counts up; otherwise
      // this is a first initialisation again.
      EXPECT_EQ(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), 调用方已初始化 ? S_FALSE : S_OK);
      ::CoUninitialize();
      if (调用方已初始化) ::CoUninitialize();
    }).join();
  }
}

// Needs a real Windows machine and elevation: Wine cannot register a task at all.
TEST(WindowsTaskScheduler, RegisteredTaskCarriesTheDefinition) {
  if (在Wine下运行()) GTEST_SKIP() << "Wine lacks IPrincipal::put_LogonType and ILogonTrigger";
  if (!已提升权限()) GTEST_SKIP() << "registering a task with the highest run level needs elevation";
  测试任务 任务;
  std::wstring 错误;
  // Create-or-update: a second registration replaces the first instead of failing.
  ASSERT_TRUE(注册后台更新任务(任务.定义, &错误) && 注册后台更新任务(任务.定义, &错误)) << 宽转UTF8宽松(错误);
  windows::COM初始化 com;
  const auto 根 = 根目录();
  windows::COM指针<IRegisteredTask> 已注册;
  BSTR 内容 = nullptr;
  ASSERT_TRUE(根 && 根->GetTask(任务.名称, 已注册.接收()) == S_OK && 已注册->get_Xml(&内容) == S_OK);
  const std::wstring 文本(内容, ::SysStringLen(内容));
  ::SysFreeString(内容);
  for (const wchar_t* 片段 : {L"<LogonTrigger>", L"<Delay>PT754S</Delay>", L"T00:12:34</StartBoundary>",
                              L"<DaysInterval>1</DaysInterval>", L"<Arguments>--background-check</Arguments>",
                              L"<RunLevel>HighestAvailable</RunLevel>", L"<Hidden>true</Hidden>",
                              L"<MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>"}) {
    EXPECT_NE(文本.find(片段), std::wstring::npos) << 宽转UTF8宽松(片段);
  }
}

}  // namespace
}  // namespace tallybell::platform
