#include <cerrno>

#include "support/fault_injection.h"

namespace tallybell::测试 {

std::uint32_t 设置模拟系统错误(故障类型 类型) {
  errno = 类型 == 故障类型::磁盘已满 ? ENOSPC : EIO;
  return static_cast<std::uint32_t>(errno);
}

}  // namespace tallybell::测试
