// The update program's result lines on the standard output: raw UTF-8 bytes, one write per
// text, failures ignored. Only the commands print them; lower layers report through codes.
#pragma once

#include <string>

namespace tallybell {

// Writes a NUL-terminated UTF-8 text.
void 写控制台(const char* 文本);
// Writes the bytes of a UTF-8 text with its exact length.
void 写控制台(const std::string& 文本);
// Converts strictly to UTF-8 and writes only when the whole text converts; an empty text
// or one with an unpaired surrogate writes nothing.
void 写控制台宽(const std::wstring& 文本);

}  // namespace tallybell
