#include <cstdlib>
#include <optional>
#include <string>

#include "support/lock_namespace.h"
#include "support/temp_dir.h"

namespace tallybell::测试 {

struct 私有锁命名空间::实现 {
  测试临时目录 目录;
  std::optional<std::string> 原运行目录;
};

私有锁命名空间::私有锁命名空间() : 实现_(std::make_unique<实现>()) {
  if (const char* 原值 = std::getenv("XDG_RUNTIME_DIR")) 实现_->原运行目录 = 原值;
  ::setenv("XDG_RUNTIME_DIR", 实现_->目录.路径().c_str(), 1);
}

私有锁命名空间::~私有锁命名空间() {
  if (实现_->原运行目录) {
    ::setenv("XDG_RUNTIME_DIR", 实现_->原运行目录->c_str(), 1);
  } else {
    ::unsetenv("XDG_RUNTIME_DIR");
  }
}

}  // namespace tallybell::测试
