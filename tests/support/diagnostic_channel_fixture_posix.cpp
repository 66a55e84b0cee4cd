#include "support/diagnostic_channel_fixture.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>


#include "platform/diagnostic_memory.h"
#include "support/environment_guard.h"
#include "support/temp_dir.h"

namespace tallybell::测试 {

struct 测试诊断通道::实现 {
  测试临时目录 目录;
  环境变量保护 运行目录{"XDG_RUNTIME_DIR", 目录.路径().string()};
  unsigned char* 视图 = nullptr;
  std::string 锁路径;
  int 别处锁 = -1;

  ~实现() {
    if (别处锁 >= 0) ::close(别处锁);
    if (视图 != nullptr) ::munmap(视图, platform::诊断视图字节数);
  }

  // Creates one file of 大小 bytes (zero-filled) with the application's mode.
  static int 新建文件(const std::string& 路径, off_t 大小) {
    const int 描述符 = ::open(路径.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (描述符 >= 0 && ::ftruncate(描述符, 大小) != 0) {
      ::close(描述符);
      return -1;
    }
    return 描述符;
  }

  void 创建(const std::string& 标识) {
    const std::string 命名空间 = (目录.路径() / "Tallybell").string();
    if (::mkdir(命名空间.c_str(), 0700) != 0) return;
    const std::string 映射路径 = 命名空间 + "/Tallybell.UpdateDiagnostic." + 标识;
    锁路径 = 映射路径 + ".Lock";
    const int 锁 = 新建文件(锁路径, 0);
    if (锁 < 0) return;
    ::close(锁);
    const int 映射 = 新建文件(映射路径, platform::诊断视图字节数);
    if (映射 < 0) return;
    void* 地址 = ::mmap(nullptr, platform::诊断视图字节数, PROT_READ | PROT_WRITE, MAP_SHARED, 映射, 0);
    ::close(映射);
    if (地址 != MAP_FAILED) 视图 = static_cast<unsigned char*>(地址);
  }
};

测试诊断通道::测试诊断通道(const std::string& 标识) : 实现_(std::make_unique<实现>()) {
  实现_->创建(标识);
}

测试诊断通道::~测试诊断通道() = default;

bool 测试诊断通道::已创建() const { return 实现_->视图 != nullptr; }

unsigned char* 测试诊断通道::视图() const { return 实现_->视图; }

// A separate open file description contends for the flock like another process would.
bool 测试诊断通道::别处持锁(bool 持有) {
  if (实现_->别处锁 >= 0) ::close(实现_->别处锁);
  实现_->别处锁 = 持有 ? ::open(实现_->锁路径.c_str(), O_RDONLY | O_CLOEXEC) : -1;
  return !持有 || (实现_->别处锁 >= 0 && ::flock(实现_->别处锁, LOCK_EX | LOCK_NB) == 0);
}

bool 测试诊断通道::锁持有者死去() {
  const pid_t 子 = ::fork();
  if (子 == 0) {
    const int 锁 = ::open(实现_->锁路径.c_str(), O_RDONLY);
    ::_exit(锁 >= 0 && ::flock(锁, LOCK_EX | LOCK_NB) == 0 ? 0 : 1);  // dies holding it
  }
  int 状态 = 0;
  return 子 > 0 && ::waitpid(子, &状态, 0) == 子 && WIFEXITED(状态) && WEXITSTATUS(状态) == 0;
}

}  // namespace tallybell::测试
