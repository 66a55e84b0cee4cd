// The full form of an absolute path, as the operating system would resolve it.
#pragma once

#include <string>

namespace tallybell::platform {

// Resolves '.' and '..' and makes the separators uniform without consulting the file
// system (Windows: GetFullPathNameW, which also turns '/' into '\'; POSIX: the same
// rules by text, with repeated '/' collapsed). 路径 must already be absolute by the
// platform's rule. False when it cannot be resolved; *输出 is then unspecified.
bool 规范化绝对路径(const std::wstring& 路径, std::wstring* 输出);

}  // namespace tallybell::platform
