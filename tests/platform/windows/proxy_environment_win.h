// Environment variables for the WinHTTP tests that route plain HTTP through the system
// proxy to a loopback service. Wine's WinHTTP takes its default proxy from http_proxy,
// read through the C runtime of ucrtbase.dll, whose copy of the environment is taken once
// at its first use; so a change is made there as well as in the process environment.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace tallybell::测试 {

inline void 设置运行库环境变量(const std::wstring& 名称, const std::optional<std::wstring>& 值) {
  using 设置函数 = int(__cdecl*)(const wchar_t*, const wchar_t*);
  HMODULE 运行库 = ::LoadLibraryW(L"ucrtbase.dll");
  FARPROC 地址 = 运行库 != nullptr ? ::GetProcAddress(运行库, "_wputenv_s") : nullptr;
  if (地址 != nullptr) {
    // Through void(*)(): the one function pointer type GCC lets any other convert to silently.
    auto 设置 = reinterpret_cast<设置函数>(reinterpret_cast<void (*)()>(地址));
    设置(名称.c_str(), 值 ? 值->c_str() : L"");  // an empty value removes the variable
  }
  if (运行库 != nullptr) ::FreeLibrary(运行库);
}

// Sets one environment variable of this process for a scope.
class 代理环境变量 {
 public:
  代理环境变量(const wchar_t* 名称, const std::optional<std::wstring>& 值) : 名称_(名称) {
    std::wstring 缓冲(32768, L'\0');
    const DWORD 长度 = ::GetEnvironmentVariableW(名称, 缓冲.data(), 32768);
    if (长度 > 0 && 长度 < 32768) 原值_ = 缓冲.substr(0, 长度);
    设置(值);
  }
  ~代理环境变量() { 设置(原值_); }
  代理环境变量(const 代理环境变量&) = delete;
  代理环境变量& operator=(const 代理环境变量&) = delete;

 private:
  void 设置(const std::optional<std::wstring>& 值) {
    ::SetEnvironmentVariableW(名称_.c_str(), 值 ? 值->c_str() : nullptr);
    设置运行库环境变量(名称_, 值);
  }

  std::wstring 名称_;
  std::optional<std::wstring> 原值_;
};

}  // namespace tallybell::测试
