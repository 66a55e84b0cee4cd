// Whether the background check must run elevated: only when its program root lies inside
// the Program Files folder, which ordinary users cannot write.
#pragma once

#include <string>
#include <vector>

namespace tallybell {

// True when 程序根 is the Program Files folder or lies below it (letter case ignored);
// a sibling that merely shares the prefix, an empty root or an unknown folder is not.
bool 程序根需要提升权限(const std::wstring& 程序根, const std::wstring& 程序文件夹);

// The child's parameters: every argument but 标志, each quoted, separated by single
// spaces, then 标志 itself.
std::wstring 提升权限参数(const std::vector<std::wstring>& 参数, const std::wstring& 标志);

}  // namespace tallybell
