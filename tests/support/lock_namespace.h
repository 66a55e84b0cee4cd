// Gives a test its own namespace for named locks and semaphores while it lives, so that
// tests holding download slots never meet another test run on the same machine. On POSIX
// it points the per-user directory at a fresh temporary directory and restores the
// previous setting afterwards; on Windows the session namespace is used as it is.
#pragma once

#include <memory>

namespace tallybell::测试 {

class 私有锁命名空间 {
 public:
  私有锁命名空间();
  ~私有锁命名空间();
  私有锁命名空间(const 私有锁命名空间&) = delete;
  私有锁命名空间& operator=(const 私有锁命名空间&) = delete;

 private:
  struct 实现;
  std::unique_ptr<实现> 实现_;
};

}  // namespace tallybell::测试
