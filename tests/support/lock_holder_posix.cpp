#include <sys/wait.h>
#include <unistd.h>

#include "support/lock_holder.h"

namespace tallybell::测试 {

bool 持锁后死去(const std::wstring& 名称) {
  const pid_t 子 = ::fork();
  if (子 == 0) {
    platform::命名互斥体 锁;
    const bool 持有 = 锁.打开或创建(名称) && 锁.加锁(0) == platform::加锁结果::取得;
    ::_exit(持有 ? 0 : 1);  // no destructor runs: the lock goes with the process
  }
  int 状态 = 0;
  return 子 > 0 && ::waitpid(子, &状态, 0) == 子 && WIFEXITED(状态) && WEXITSTATUS(状态) == 0;
}

}  // namespace tallybell::测试
