// A new file only its owner can read, for secrets such as a signing key.
#pragma once

#include <string>

namespace tallybell::platform {

// Creates 路径 (which must not exist yet) readable and writable by the current user only
// (mode 0600 on POSIX; a protected access list granting the owner alone on Windows),
// writes 内容 and flushes it. False when the file exists or any step fails; a file this
// call created is then removed.
bool 写入私有新文件(const std::wstring& 路径, const std::string& 内容);

}  // namespace tallybell::platform
