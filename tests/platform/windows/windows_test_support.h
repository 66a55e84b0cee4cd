// Helpers shared by the Windows platform tests: Wine detection and fresh GUID names.
// (Temporary folders and whole-file reads and writes come from support/temp_dir.h and
// support/file_helpers.h, as on POSIX.)
#pragma once

#include <windows.h>
#include <objbase.h>

#include <string>

namespace tallybell::测试 {

// Wine exports this from its ntdll; Windows does not.
inline bool 在Wine下运行() {
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

inline std::wstring 新GUID文本() {
  GUID 值{};
  wchar_t 文本[64] = {};
  if (::CoCreateGuid(&值) != S_OK || ::StringFromGUID2(值, 文本, 64) == 0) return L"no-guid";
  std::wstring 结果(文本);
  return 结果.substr(1, 结果.size() - 2);  // without the braces
}

}  // namespace tallybell::测试
