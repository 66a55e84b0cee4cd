// What the Windows platform tests need besides support/: whether Wine runs them.
// (Temporary folders and whole-file reads and writes come from support/temp_dir.h and
// support/file_helpers.h, as on POSIX.)
#pragma once

#include <windows.h>

namespace tallybell::测试 {

// Wine exports this from its ntdll; Windows does not.
inline bool 在Wine下运行() {
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace tallybell::测试
