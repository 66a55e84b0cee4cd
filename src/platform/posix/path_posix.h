// Wide paths become UTF-8 for the POSIX calls.
#pragma once

#include <string>

namespace tallybell::platform {

// Names on POSIX are bytes. Well-formed UTF-8 becomes its code points; every other byte b
// becomes the lone surrogate U+DC00 + b, a value no UTF-8 text decodes to, so a name that
// is not UTF-8 (an argument, a directory entry) still names exactly the same file.
std::wstring POSIX字节转宽(const std::string& 字节);
// The way back: those surrogates become their bytes again, everything else UTF-8. False
// for any other unpaired surrogate or a value beyond Unicode.
bool 宽转POSIX字节(const std::wstring& 文本, std::string* 输出);

// 宽转POSIX字节 for a path; false (errno = EINVAL) for an empty path, one that does not
// convert or one with a NUL, so that no call ever sees a mangled name.
bool 转POSIX路径(const std::wstring& 路径, std::string* 输出);

// Syncs the directory that holds 路径 so that a rename or creation in it is durable.
bool 同步父目录(const std::string& 路径);

}  // namespace tallybell::platform
