// The process's standard output handle, written as raw bytes.
#pragma once

#include <cstddef>

namespace tallybell::platform {

// Writes the bytes with one call, unbuffered. Failures and short writes are ignored:
// output never changes what a command does.
void 写标准输出(const void* 数据, std::size_t 长度);

}  // namespace tallybell::platform
