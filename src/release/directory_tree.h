// Whole directory trees: copying a ready-made release and removing staging directories.
#pragma once

#include <string>

namespace tallybell {

// Copies every entry of 源 into 目标 (created with missing parents), recursively, never
// overwriting an existing file. A symbolic link or other reparse point anywhere in the
// source fails the whole copy, as does anything that is neither a file nor a directory.
// A failed copy leaves what it already copied; the caller removes it.
bool 复制目录树(const std::wstring& 源, const std::wstring& 目标);

// Removes 目录 and everything below it, read-only files included. A link found inside is
// removed itself and never followed, so removal never reaches outside 目录; a 目录 that is
// itself a link is only unlinked. Failures are ignored.
void 删除目录树(const std::wstring& 目录);

}  // namespace tallybell
