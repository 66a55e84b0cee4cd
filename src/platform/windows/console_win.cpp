#include "platform/console.h"

#include <windows.h>

#include <algorithm>

namespace tallybell::platform {

void 写标准输出(const void* 数据, std::size_t 长度) {
  // A GUI-subsystem process has a standard output handle only when its starter passed
  // one (a pipe or a file); without it there is nothing to write to.
  HANDLE 输出 = ::GetStdHandle(STD_OUTPUT_HANDLE);
  if (输出 == nullptr || 输出 == INVALID_HANDLE_VALUE || 长度 == 0) return;
  // One write call per text; a short or failed write is deliberately not retried.
  DWORD 写了 = 0;
  ::WriteFile(输出, 数据, static_cast<DWORD>(std::min<std::size_t>(长度, MAXDWORD)), &写了, nullptr);
}

}  // namespace tallybell::platform
