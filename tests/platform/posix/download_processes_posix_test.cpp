// Download tasks in separate processes: the per-object lock is released by the kernel when
// its owner dies, whether it finished its work or was killed.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "download/download_test_support.h"
#include "platform/named_mutex.h"

namespace tallybell {
namespace {

namespace fs = std::filesystem;
using namespace 测试;

// Forks a child that holds the object's lock, reports through a pipe, then runs 然后 and
// exits without unlocking. -1 when the child could not take the lock.
pid_t 子进程持有对象锁(const std::string& sha256, const std::function<void()>& 然后) {
  int 管道[2];
  if (::pipe(管道) != 0) return -1;
  const pid_t 子 = ::fork();
  if (子 == 0) {
    ::close(管道[0]);
    platform::命名互斥体 锁;
    const char 结果 =
        锁.打开或创建(下载对象锁前缀 + std::wstring(sha256.begin(), sha256.end())) && 锁.加锁(0) == platform::加锁结果::取得
            ? 'y'
            : 'n';
    if (::write(管道[1], &结果, 1) != 1) ::_exit(2);
    然后();
    ::_exit(0);
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

TEST_F(下载任务测试, 另一进程正在下载同一对象时等待后找到缓存对象) {
  const pid_t 子 = 子进程持有对象锁(配置_.sha256, [&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    写测试文件(文件(".object"), 对象_);
  });
  ASSERT_GT(子, 0);
  脚本下载传输 传输(对象_);
  const 运行结果 结果 = 运行(传输);
  int 状态 = 0;
  ::waitpid(子, &状态, 0);
  EXPECT_TRUE(WIFEXITED(状态) && WEXITSTATUS(状态) == 0);
  ASSERT_TRUE(结果.成功) << ::testing::PrintToString(结果.消息);
  EXPECT_TRUE(结果.结果.fromCache);
  EXPECT_TRUE(传输.请求.empty());
}

TEST_F(下载任务测试, 持有对象锁的进程被杀后下一次运行不受阻) {
  写部分(3000);
  写断点(3000, 1, 0);
  const pid_t 子 = 子进程持有对象锁(配置_.sha256, [] {
    for (;;) ::pause();
  });
  ASSERT_GT(子, 0);
  ::kill(子, SIGKILL);
  ::waitpid(子, nullptr, 0);
  续传完成(3000);
}

}  // namespace
}  // namespace tallybell
