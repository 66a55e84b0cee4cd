// The process's standard error handle, where command-line tools print their messages and
// progress while standard output stays free for results.
#pragma once

#include <cstddef>

namespace tallybell::platform {

// Writes the bytes with one call, unbuffered. Failures and short writes are ignored:
// output never changes what a command does.
void 写标准错误(const void* 数据, std::size_t 长度);

// True when standard error is an interactive terminal (a console on Windows), the only
// place where a self-overwriting progress line makes sense.
bool 标准错误是终端();

}  // namespace tallybell::platform
