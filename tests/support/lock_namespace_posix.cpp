#include <string>

#include "support/environment_guard.h"
#include "support/lock_namespace.h"
#include "support/temp_dir.h"

namespace tallybell::测试 {

struct 私有锁命名空间::实现 {
  测试临时目录 目录;
  环境变量保护 运行目录{"XDG_RUNTIME_DIR", 目录.路径().string()};
};

私有锁命名空间::私有锁命名空间() : 实现_(std::make_unique<实现>()) {}

私有锁命名空间::~私有锁命名空间() = default;

}  // namespace tallybell::测试
