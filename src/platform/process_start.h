// How a program starts. The platform layer owns the process entry (main with byte
// arguments on POSIX, wmain on Windows) and hands the command line on, as wide strings, to
// the one body each program defines under src/entry/. That keeps the programs above the
// platform layer: it calls them through this declaration and never includes them.
#pragma once

#include <string>
#include <vector>

namespace tallybell::platform {

// Defined once by each program: its whole run, given every argument including the
// program's own name (on POSIX a byte that is not UTF-8 is kept as itself, see
// posix/path_posix.h). The value is the process exit code.
int 程序主体(const std::vector<std::wstring>& 参数);

// Makes a console show the program's UTF-8 output as text (the Windows console reads the
// active code page otherwise); nothing to do on POSIX.
void 控制台输出使用UTF8();

}  // namespace tallybell::platform
