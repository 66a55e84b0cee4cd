#include <windows.h>

#include "support/fault_injection.h"

namespace tallybell::测试 {

std::uint32_t 设置模拟系统错误(故障类型 类型) {
  const DWORD 代码 = 类型 == 故障类型::磁盘已满 ? ERROR_DISK_FULL : ERROR_IO_DEVICE;
  ::SetLastError(代码);
  return 代码;
}

}  // namespace tallybell::测试
