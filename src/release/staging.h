// Private staging directories under <stateRoot>/staging, where releases are built before
// one rename makes them visible.
#pragma once

#include <string>

namespace tallybell {

// A fresh staging directory path: <stateRoot>/staging/<前缀>-<pid>-<tick>.
std::wstring 新暂存目录(const std::wstring& stateRoot, const wchar_t* 前缀);

// Removes the "prepare-" and "assemble-" directories that interrupted runs left behind.
// Only call it while holding the update coordinator's lock: every run creates and uses
// its staging directory under that lock, so none of them can be in use then.
void 清理遗留暂存目录(const std::wstring& stateRoot);

}  // namespace tallybell
