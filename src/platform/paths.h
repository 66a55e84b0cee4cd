// Path conventions of the platform the program was built for.
#pragma once

#include <string>

namespace tallybell::platform {

#ifdef _WIN32
inline constexpr wchar_t 路径分隔符 = L'\\';
#else
inline constexpr wchar_t 路径分隔符 = L'/';
#endif

// A path that names a whole drive ("C:" on Windows): climbing towards the root stops there,
// as it stops at "/" on POSIX, where "C:" is an ordinary relative name.
inline bool 是卷根(const std::wstring& 路径) {
#ifdef _WIN32
  return 路径.size() == 2 && 路径[1] == L':';
#else
  static_cast<void>(路径);
  return false;
#endif
}

}  // namespace tallybell::platform
