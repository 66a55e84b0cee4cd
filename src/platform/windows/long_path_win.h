// Long paths on Windows. The Win32 file functions stop at 260 characters unless a path
// comes in the extended form ("\\?\C:\..." or "\\?\UNC\server\share\..."), which also
// switches off their own clean-up of the text; so the path is first made full and clean
// and then prefixed. Release paths alone may be 1024 bytes long.
#pragma once

#include <string>

namespace tallybell::platform::windows {

// The extended form of 路径's full path. A path already in the extended or the device
// form ("\\.\...") is returned as it is, and so is one that cannot be resolved (the call
// it is meant for then fails on it as it would have).
std::wstring 长路径形式(const std::wstring& 路径);

}  // namespace tallybell::platform::windows
