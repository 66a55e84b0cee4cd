// Who is asking: the stable identity of this installation and the description of the
// machine it runs on, both sent with every resolve request.
#pragma once

#include <string>

namespace tallybell {

// stateRoot/state/installation-id.txt
std::wstring 设备安装标识路径(const std::wstring& stateRoot);

// Exactly 36 bytes, each 0-9, a-f or '-'. Hyphen positions are not checked, and upper-case
// digits are refused so that one installation never has two spellings.
bool 设备安装标识有效(const std::string& 标识);

// The identity stored in installation-id.txt (trailing CR and LF ignored), or a new random
// lowercase GUID written there with the previous content kept as installation-id.txt.bak.
// False when no valid identity can be read and none can be created and stored; *标识 is
// then untouched, and a failed write leaves the file and its backup as they were.
bool 取得设备安装标识(const std::wstring& stateRoot, std::string* 标识);

// "Windows <major>.<minor> build <build> x64" from the kernel's own version record (the
// platform's version report elsewhere), or the platform name with " x64" alone when that
// is unavailable. Never fails.
std::string 取得系统描述();

}  // namespace tallybell
