// Runs one command and prints its wall-clock time and peak resident memory, for bench/run:
//   tallybell-bench-time <outputFile> <program> [arguments...]
// The command's standard output and error go to <outputFile>. Prints
// "<nanoseconds> <maxResidentKiB>" on success; exits 1 (and prints the exit status) when
// the command cannot be started or does not exit with 0. The time runs from just before
// the fork to the end of the wait, so it holds the whole process, start-up included; the
// memory figure is the child's ru_maxrss and the CPU time its user plus system time, both
// from wait4 (the CPU time shows the process's own cost when a busy machine stretches the
// wall-clock time).
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

namespace {

long long 纳秒() {
  timespec 时刻{};
  ::clock_gettime(CLOCK_MONOTONIC, &时刻);
  return static_cast<long long>(时刻.tv_sec) * 1000000000LL + 时刻.tv_nsec;
}

int 运行(int 参数数, char** 参数) {
  if (参数数 < 3) {
    std::fprintf(stderr, "usage: %s <outputFile> <program> [arguments...]\n", 参数[0]);
    return 2;
  }
  const int 输出 = ::open(参数[1], O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (输出 < 0) {
    std::perror(参数[1]);
    return 1;
  }
  const long long 起点 = 纳秒();
  const pid_t 子进程 = ::fork();
  if (子进程 < 0) {
    std::perror("fork");
    return 1;
  }
  if (子进程 == 0) {
    ::dup2(输出, 1);
    ::dup2(输出, 2);
    ::execvp(参数[2], 参数 + 2);
    _exit(127);
  }
  int 状态 = 0;
  rusage 用量{};
  while (::wait4(子进程, &状态, 0, &用量) < 0) {
    if (errno != EINTR) {
      std::perror("wait4");
      return 1;
    }
  }
  const long long 终点 = 纳秒();
  ::close(输出);
  if (!WIFEXITED(状态) || WEXITSTATUS(状态) != 0) {
    std::fprintf(stderr, "%s ended with status %d\n", 参数[2], WIFEXITED(状态) ? WEXITSTATUS(状态) : -1);
    return 1;
  }
  const long long 处理器纳秒 =
      (static_cast<long long>(用量.ru_utime.tv_sec) + 用量.ru_stime.tv_sec) * 1000000000LL +
      (static_cast<long long>(用量.ru_utime.tv_usec) + 用量.ru_stime.tv_usec) * 1000LL;
  std::printf("%lld %ld %lld\n", 终点 - 起点, 用量.ru_maxrss, 处理器纳秒);
  return 0;
}

}  // namespace

int main(int 参数数, char** 参数) { return 运行(参数数, 参数); }
