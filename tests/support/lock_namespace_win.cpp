#include "support/lock_namespace.h"

namespace tallybell::测试 {

// Kernel object names live in the session; each test program run under Wine gets a fresh
// prefix and so a session of its own.
struct 私有锁命名空间::实现 {};

私有锁命名空间::私有锁命名空间() : 实现_(std::make_unique<实现>()) {}

私有锁命名空间::~私有锁命名空间() = default;

}  // namespace tallybell::测试
