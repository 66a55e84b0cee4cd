#include <sys/wait.h>
#include <unistd.h>

#include "support/lock_holder.h"

namespace tallybell::测试 {

bool 持锁后死去(const 取锁方法& 取锁) {
  const pid_t 子 = ::fork();
  if (子 == 0) ::_exit(取锁() != nullptr ? 0 : 1);  // no destructor runs: the lock goes with the process
  int 状态 = 0;
  return 子 > 0 && ::waitpid(子, &状态, 0) == 子 && WIFEXITED(状态) && WEXITSTATUS(状态) == 0;
}

}  // namespace tallybell::测试
