// Path conventions of the platform the program was built for.
#pragma once

namespace tallybell::platform {

#ifdef _WIN32
inline constexpr wchar_t 路径分隔符 = L'\\';
#else
inline constexpr wchar_t 路径分隔符 = L'/';
#endif

}  // namespace tallybell::platform
