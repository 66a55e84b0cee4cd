// Waiting for a child process the POSIX layer started.
#pragma once

#include <sys/types.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdint>

namespace tallybell::platform {

// Waits without time limit for 子进程 to end. True with *退出码 set when it exited
// normally; false when it was killed by a signal or could not be waited for.
inline bool 等待子进程退出(pid_t 子进程, std::uint32_t* 退出码) {
  int 状态 = 0;
  pid_t 等待结果;
  do {
    等待结果 = ::waitpid(子进程, &状态, 0);
  } while (等待结果 < 0 && errno == EINTR);
  if (等待结果 != 子进程 || !WIFEXITED(状态)) return false;
  *退出码 = static_cast<std::uint32_t>(WEXITSTATUS(状态));
  return true;
}

}  // namespace tallybell::platform
