// The Windows command-line quoting used when this program starts itself again.
#pragma once

#include <string>
#include <vector>

namespace tallybell {

// Quotes one argument so that the standard Windows parser gives it back unchanged:
// always between double quotes; backslashes doubled only before a quote or the end.
std::wstring 引用参数(const std::wstring& 参数);

// Splits a command line made of arguments quoted by 引用参数 (or plain words separated by
// blanks) back into the arguments, with the rules of the Windows parser.
std::vector<std::wstring> 拆分命令行(const std::wstring& 命令行);

}  // namespace tallybell
