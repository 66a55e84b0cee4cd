#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include "platform/posix/user_namespace.h"
#include "support/diagnostic_channel_fixture.h"

namespace tallybell::测试 {

unsigned char* 创建应用诊断通道(const std::string& 标识, std::shared_ptr<void>* 持有) {
  std::string 目录;
  if (!platform::取用户命名空间目录(&目录)) return nullptr;
  // Two new files with the application's mode: an empty lock file and the zero-filled mapping.
  const std::string 映射路径 = 目录 + "/Tallybell.UpdateDiagnostic." + 标识;
  const int 锁 = ::open((映射路径 + ".Lock").c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  const int 映射 = ::open(映射路径.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  void* 地址 = MAP_FAILED;
  if (锁 >= 0 && 映射 >= 0 && ::ftruncate(映射, platform::诊断视图字节数) == 0) {
    地址 = ::mmap(nullptr, platform::诊断视图字节数, PROT_READ | PROT_WRITE, MAP_SHARED, 映射, 0);
  }
  for (const int 描述符 : {锁, 映射}) {
    if (描述符 >= 0) ::close(描述符);
  }
  if (地址 == MAP_FAILED) return nullptr;
  *持有 = std::shared_ptr<void>(地址, [](void* 视图) { ::munmap(视图, platform::诊断视图字节数); });
  return static_cast<unsigned char*>(地址);
}

}  // namespace tallybell::测试
