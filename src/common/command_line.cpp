#include "common/command_line.h"

namespace tallybell {

std::wstring 引用参数(const std::wstring& 参数) {
  std::wstring 结果(1, L'"');
  std::size_t 待写反斜杠 = 0;
  for (wchar_t 字符 : 参数) {
    if (字符 == L'\\') {
      ++待写反斜杠;
      continue;
    }
    // A quote must survive as a literal: its pending backslashes are doubled and one more
    // escapes the quote itself.
    const std::size_t 数量 = 字符 == L'"' ? 2 * 待写反斜杠 + 1 : 待写反斜杠;
    结果.append(数量, L'\\');
    结果.push_back(字符);
    待写反斜杠 = 0;
  }
  // The closing quote follows, so trailing backslashes are doubled.
  结果.append(2 * 待写反斜杠, L'\\');
  结果.push_back(L'"');
  return 结果;
}

std::vector<std::wstring> 拆分命令行(const std::wstring& 命令行) {
  std::vector<std::wstring> 结果;
  std::size_t i = 0;
  const std::size_t n = 命令行.size();
  while (true) {
    while (i < n && (命令行[i] == L' ' || 命令行[i] == L'\t')) ++i;
    if (i >= n) break;
    std::wstring 参数;
    bool 引号内 = false;
    while (i < n && (引号内 || (命令行[i] != L' ' && 命令行[i] != L'\t'))) {
      std::size_t 反斜杠 = 0;
      while (i < n && 命令行[i] == L'\\') {
        ++反斜杠;
        ++i;
      }
      if (i < n && 命令行[i] == L'"') {
        参数.append(反斜杠 / 2, L'\\');
        if (反斜杠 % 2 == 1) {
          参数.push_back(L'"');
        } else if (引号内 && i + 1 < n && 命令行[i + 1] == L'"') {
          参数.push_back(L'"');  // "" inside quotes is a literal quote
          ++i;
        } else {
          引号内 = !引号内;
        }
        ++i;
      } else {
        参数.append(反斜杠, L'\\');
        if (i < n && (引号内 || (命令行[i] != L' ' && 命令行[i] != L'\t'))) {
          参数.push_back(命令行[i]);
          ++i;
        }
      }
    }
    结果.push_back(std::move(参数));
  }
  return 结果;
}

}  // namespace tallybell
