// Which release ids may name a release directory.
#pragma once

#include <string>

namespace tallybell {

// 1 to 64 characters, each an ASCII letter, digit, '-', '.' or '_', and neither "." nor
// "..": a release id that is safe as one path component.
bool 发布标识有效(const std::wstring& 标识);

}  // namespace tallybell
