#include "platform/named_semaphore.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include "support/lock_namespace.h"

namespace tallybell::platform {
namespace {

// A download slot taken by a process that then dies without giving it back (no destructor
// runs) is free again for the next one.
TEST(命名信号量POSIX, 死去进程的名额重新可用) {
  测试::私有锁命名空间 命名空间;
  const std::wstring 名称 = L"Tallybell-DownloadSlots-test";
  命名信号量 甲, 乙, 丙;
  for (命名信号量* 项 : {&甲, &乙, &丙}) ASSERT_TRUE(项->打开或创建(名称, 3));
  ASSERT_EQ(甲.取得名额(0), 加锁结果::取得);
  ASSERT_EQ(乙.取得名额(0), 加锁结果::取得);
  const pid_t 子 = ::fork();
  if (子 == 0) {
    命名信号量 信号量;
    ::_exit(信号量.打开或创建(名称, 3) && 信号量.取得名额(0) == 加锁结果::取得 ? 0 : 1);
  }
  int 状态 = 0;
  ASSERT_EQ(::waitpid(子, &状态, 0), 子);
  ASSERT_TRUE(WIFEXITED(状态) && WEXITSTATUS(状态) == 0);
  EXPECT_EQ(丙.取得名额(0), 加锁结果::取得);
}

}  // namespace
}  // namespace tallybell::platform
