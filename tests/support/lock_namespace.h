// Gives a test its own namespace for named locks and semaphores while it lives, so that
// tests holding download slots never meet another test run on the same machine. It points
// the POSIX per-user directory at a fresh temporary directory and restores the previous
// setting afterwards. Windows reads no such variable: kernel object names live in the
// session, and each test program run under Wine gets a fresh prefix and so a session of
// its own.
#pragma once

#include "support/environment_guard.h"
#include "support/temp_dir.h"

namespace tallybell::测试 {

struct 私有锁命名空间 {
  测试临时目录 目录;
  环境变量保护 运行目录{"XDG_RUNTIME_DIR", 目录.路径().string()};
};

}  // namespace tallybell::测试
