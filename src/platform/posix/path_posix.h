// Wide paths become UTF-8 for the POSIX calls.
#pragma once

#include <string>

namespace tallybell::platform {

// Strict conversion; false (errno = EINVAL) for a path that is not valid Unicode or is
// empty, so that no call ever sees a mangled name.
bool 转POSIX路径(const std::wstring& 路径, std::string* 输出);

// Syncs the directory that holds 路径 so that a rename or creation in it is durable.
bool 同步父目录(const std::string& 路径);

}  // namespace tallybell::platform
