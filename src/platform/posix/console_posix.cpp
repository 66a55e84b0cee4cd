#include "platform/console.h"

#include <unistd.h>

namespace tallybell::platform {

void 写标准输出(const void* 数据, std::size_t 长度) {
  // One write call per text; a short or failed write is deliberately not retried.
  ssize_t 结果 = ::write(STDOUT_FILENO, 数据, 长度);
  (void)结果;
}

}  // namespace tallybell::platform
