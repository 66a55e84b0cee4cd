// The process's standard output and standard error, written as raw bytes. Results go to
// standard output; command-line tools print their messages and progress on standard error
// so that standard output stays free for results.
#pragma once

#include <cstddef>

namespace tallybell::platform {

// Each writes the bytes with one call, unbuffered. Failures and short writes are ignored:
// output never changes what a command does.
void 写标准输出(const void* 数据, std::size_t 长度);
void 写标准错误(const void* 数据, std::size_t 长度);

// True when standard error is an interactive terminal (a console on Windows), the only
// place where a self-overwriting progress line makes sense.
bool 标准错误是终端();

}  // namespace tallybell::platform
