#include "platform/console.h"

#include <windows.h>

#include <algorithm>

namespace tallybell::platform {
namespace {

// A GUI-subsystem process has standard handles only when its starter passed them (a pipe
// or a file); without one there is nothing to write to.
void 写标准句柄(DWORD 哪个, const void* 数据, std::size_t 长度) {
  HANDLE 输出 = ::GetStdHandle(哪个);
  if (输出 == nullptr || 输出 == INVALID_HANDLE_VALUE || 长度 == 0) return;
  // One write call per text; a short or failed write is deliberately not retried.
  DWORD 写了 = 0;
  ::WriteFile(输出, 数据, static_cast<DWORD>(std::min<std::size_t>(长度, MAXDWORD)), &写了, nullptr);
}

}  // namespace

void 写标准输出(const void* 数据, std::size_t 长度) { 写标准句柄(STD_OUTPUT_HANDLE, 数据, 长度); }

void 写标准错误(const void* 数据, std::size_t 长度) { 写标准句柄(STD_ERROR_HANDLE, 数据, 长度); }

bool 标准错误是终端() {
  // A console handle answers GetConsoleMode; pipes and files do not.
  HANDLE 输出 = ::GetStdHandle(STD_ERROR_HANDLE);
  DWORD 模式 = 0;
  return 输出 != nullptr && 输出 != INVALID_HANDLE_VALUE && ::GetConsoleMode(输出, &模式) != 0;
}

}  // namespace tallybell::platform
