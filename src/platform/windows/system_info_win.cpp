#include "platform/system_info.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstring>
#include <vector>

namespace tallybell::platform {
namespace {

// Module file names may exceed MAX_PATH; this is the longest path Windows can name.
constexpr DWORD 模块路径容量 = 32768;

std::wstring 外壳文件夹(int 标识) {
  wchar_t 缓冲[MAX_PATH] = {};
  if (::SHGetFolderPathW(nullptr, 标识, nullptr, SHGFP_TYPE_CURRENT, 缓冲) != S_OK) return {};
  return 缓冲;
}

}  // namespace

bool 生成GUID(GUID值* 输出) {
  GUID 值{};
  if (::CoCreateGuid(&值) != S_OK) return false;
  输出->数据1 = 值.Data1;
  输出->数据2 = 值.Data2;
  输出->数据3 = 值.Data3;
  std::memcpy(输出->数据4, 值.Data4, sizeof 输出->数据4);
  return true;
}

std::wstring 系统描述() {
  // GetVersionEx answers with the version the manifest claims compatibility with;
  // RtlGetVersion reports the kernel's own. It is not in the import libraries of every
  // toolchain, so it is looked up at run time.
  using RtlGetVersion函数 = LONG(WINAPI*)(RTL_OSVERSIONINFOW*);
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  FARPROC 地址 = ntdll != nullptr ? ::GetProcAddress(ntdll, "RtlGetVersion") : nullptr;
  if (地址 == nullptr) return L"Windows x64";
  // Through void(*)(): the one function pointer type GCC lets any other convert to silently.
  auto 取版本 = reinterpret_cast<RtlGetVersion函数>(reinterpret_cast<void (*)()>(地址));
  RTL_OSVERSIONINFOW 版本{};
  版本.dwOSVersionInfoSize = sizeof 版本;
  if (取版本(&版本) != 0) return L"Windows x64";
  return L"Windows " + std::to_wstring(版本.dwMajorVersion) + L"." + std::to_wstring(版本.dwMinorVersion) +
         L" build " + std::to_wstring(版本.dwBuildNumber) + L" x64";
}

std::wstring 程序文件夹() { return 外壳文件夹(CSIDL_PROGRAM_FILES); }

std::wstring 公共数据文件夹() { return 外壳文件夹(CSIDL_COMMON_APPDATA); }

std::wstring 本程序路径() {
  std::vector<wchar_t> 缓冲(模块路径容量);
  DWORD 长度 = ::GetModuleFileNameW(nullptr, 缓冲.data(), 模块路径容量);
  // A length equal to the capacity means the name was cut short.
  if (长度 == 0 || 长度 >= 模块路径容量) return {};
  return std::wstring(缓冲.data(), 长度);
}

}  // namespace tallybell::platform
