// Changes go to the process environment and to the copy the C runtime (ucrtbase.dll) took
// at its first use: Wine's WinHTTP reads http_proxy through the latter.
#include <windows.h>

#include "common/text.h"
#include "support/environment_guard.h"

namespace tallybell::测试 {
namespace {

void 写运行库环境变量(const std::wstring& 名称, const std::wstring& 值) {
  using 设置函数 = int(__cdecl*)(const wchar_t*, const wchar_t*);
  HMODULE 运行库 = ::LoadLibraryW(L"ucrtbase.dll");
  FARPROC 地址 = 运行库 != nullptr ? ::GetProcAddress(运行库, "_wputenv_s") : nullptr;
  if (地址 != nullptr) {
    // Through void(*)(): the one function pointer type GCC lets any other convert to silently.
    reinterpret_cast<设置函数>(reinterpret_cast<void (*)()>(地址))(名称.c_str(), 值.c_str());
  }
  if (运行库 != nullptr) ::FreeLibrary(运行库);
}

}  // namespace

void 写环境变量(const std::string& 名称, const std::optional<std::string>& 值) {
  const std::wstring 宽名称 = UTF8转宽宽松(名称);
  const std::wstring 宽值 = 值 ? UTF8转宽宽松(*值) : std::wstring();
  ::SetEnvironmentVariableW(宽名称.c_str(), 值 ? 宽值.c_str() : nullptr);
  写运行库环境变量(宽名称, 宽值);  // an empty value removes it there
}

std::optional<std::string> 读环境变量(const std::string& 名称) {
  std::wstring 缓冲(32768, L'\0');
  const DWORD 长度 = ::GetEnvironmentVariableW(UTF8转宽宽松(名称).c_str(), 缓冲.data(), 32768);
  if (长度 == 0 || 长度 >= 32768) return std::nullopt;
  return 宽转UTF8宽松(缓冲.substr(0, 长度));
}

}  // namespace tallybell::测试
