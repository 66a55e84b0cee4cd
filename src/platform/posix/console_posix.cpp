#include "platform/console.h"

#include <unistd.h>

namespace tallybell::platform {

// One write call per text; a short or failed write is deliberately not retried.
void 写标准输出(const void* 数据, std::size_t 长度) {
  ssize_t 结果 = ::write(STDOUT_FILENO, 数据, 长度);
  (void)结果;
}

void 写标准错误(const void* 数据, std::size_t 长度) {
  ssize_t 结果 = ::write(STDERR_FILENO, 数据, 长度);
  (void)结果;
}

bool 标准错误是终端() { return ::isatty(STDERR_FILENO) == 1; }

}  // namespace tallybell::platform
