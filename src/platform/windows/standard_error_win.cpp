#include "platform/standard_error.h"

#include <windows.h>

#include <algorithm>

namespace tallybell::platform {

void 写标准错误(const void* 数据, std::size_t 长度) {
  HANDLE 输出 = ::GetStdHandle(STD_ERROR_HANDLE);
  if (输出 == nullptr || 输出 == INVALID_HANDLE_VALUE || 长度 == 0) return;
  DWORD 写了 = 0;
  ::WriteFile(输出, 数据, static_cast<DWORD>(std::min<std::size_t>(长度, MAXDWORD)), &写了, nullptr);
}

bool 标准错误是终端() {
  // A console handle answers GetConsoleMode; pipes and files do not.
  HANDLE 输出 = ::GetStdHandle(STD_ERROR_HANDLE);
  DWORD 模式 = 0;
  return 输出 != nullptr && 输出 != INVALID_HANDLE_VALUE && ::GetConsoleMode(输出, &模式) != 0;
}

}  // namespace tallybell::platform
