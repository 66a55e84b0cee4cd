#include "platform/named_semaphore.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "platform/posix/user_namespace.h"
#include "support/lock_namespace.h"

namespace tallybell::platform {
namespace {

namespace fs = std::filesystem;

// A child process that takes one slot, reports it through a pipe and then waits to be
// killed; -1 when it could not be started or did not get a slot.
pid_t 子进程占用名额(const std::wstring& 名称) {
  int 管道[2];
  if (::pipe(管道) != 0) return -1;
  const pid_t 子 = ::fork();
  if (子 == 0) {
    ::close(管道[0]);
    命名信号量 信号量;
    const char 结果 = 信号量.打开或创建(名称, 3) && 信号量.取得名额(0) == 加锁结果::取得 ? 'y' : 'n';
    if (::write(管道[1], &结果, 1) != 1) ::_exit(2);
    for (;;) ::pause();
  }
  ::close(管道[1]);
  char 结果 = 'n';
  const bool 读到 = 子 > 0 && ::read(管道[0], &结果, 1) == 1;
  ::close(管道[0]);
  if (读到 && 结果 == 'y') return 子;
  if (子 > 0) {
    ::kill(子, SIGKILL);
    ::waitpid(子, nullptr, 0);
  }
  return -1;
}

TEST(命名信号量POSIX, 名额是命名空间中的三个锁文件且被杀进程的名额重新可用) {
  测试::私有锁命名空间 命名空间;
  const std::wstring 名称 = L"Tallybell-DownloadSlots-test";
  std::vector<pid_t> 子进程;
  for (int 序号 = 0; 序号 < 3; ++序号) {
    const pid_t 子 = 子进程占用名额(名称);
    ASSERT_GT(子, 0);
    子进程.push_back(子);
  }
  const fs::path 目录 = 用户命名空间路径();
  for (const char* 文件 : {"Tallybell-DownloadSlots-test.0.lock", "Tallybell-DownloadSlots-test.1.lock",
                           "Tallybell-DownloadSlots-test.2.lock"}) {
    EXPECT_TRUE(fs::is_regular_file(目录 / 文件)) << 文件;
  }
  EXPECT_FALSE(fs::exists(目录 / "Tallybell-DownloadSlots-test.3.lock"));

  命名信号量 信号量;
  ASSERT_TRUE(信号量.打开或创建(名称, 3));
  EXPECT_EQ(信号量.取得名额(20), 加锁结果::超时);
  ::kill(子进程[1], SIGKILL);
  ::waitpid(子进程[1], nullptr, 0);
  EXPECT_EQ(信号量.取得名额(10000), 加锁结果::取得);
  for (const pid_t 子 : {子进程[0], 子进程[2]}) {
    ::kill(子, SIGKILL);
    ::waitpid(子, nullptr, 0);
  }
}

}  // namespace
}  // namespace tallybell::platform
