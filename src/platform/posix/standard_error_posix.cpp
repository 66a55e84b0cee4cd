#include "platform/standard_error.h"

#include <unistd.h>

namespace tallybell::platform {

void 写标准错误(const void* 数据, std::size_t 长度) {
  ssize_t 结果 = ::write(STDERR_FILENO, 数据, 长度);
  (void)结果;
}

bool 标准错误是终端() { return ::isatty(STDERR_FILENO) == 1; }

}  // namespace tallybell::platform
