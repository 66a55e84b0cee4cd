// The named mutex and semaphore, the same contract on both builds: names and counts, slots,
// bounded waits, and a holder that dies.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <memory>
#include <thread>
#include <tuple>
#include <vector>

#include "common/text.h"
#include "download/download_test_support.h"
#include "platform/named_mutex.h"
#include "platform/named_semaphore.h"
#include "support/lock_holder.h"
#include "storage/coordinator_lock.h"
#include "support/lock_namespace.h"
#include "support/program_runner.h"
#include "support/temp_dir.h"
#include "support/update_fixture.h"

namespace tallybell::platform {
namespace {

using namespace 测试;

// The same names and counts are refused on both builds; a mutex held elsewhere is waited
// for a bounded time, and the longest wait takes it as soon as it is let go.
TEST(命名锁, 两个平台拒绝同样的名称和名额数而等待有界) {
  私有锁命名空间 命名空间;
  for (const auto& [名称, 名额数, 可用] : std::vector<std::tuple<std::wstring, std::uint32_t, bool>>{
           {L"Tallybell-LockTest", 1, true}, {L"Tallybell-LockTest", 64, true}, {L"", 1, false},
           {L"a/b", 1, false}, {L"a\\b", 1, false}, {std::wstring(L"a\0b", 3), 1, false},
           {L"Tallybell-LockTest", 0, false}, {L"Tallybell-LockTest", 65, false}}) {
    {
      命名信号量 信号量;
      EXPECT_EQ(信号量.打开或创建(名称, 名额数), 可用) << 名额数;
      EXPECT_EQ(信号量.取得名额(0), 可用 ? 加锁结果::取得 : 加锁结果::错误);
    }
    命名互斥体 互斥体;  // a Windows name holds one kernel object at a time
    if (名额数 == 1) { EXPECT_EQ(互斥体.打开或创建(名称), 可用); }
  }
  命名互斥体 锁;
  ASSERT_TRUE(锁.打开或创建(L"Tallybell-MutexTest-1"));
  {
    持锁线程 持有者(L"Tallybell-MutexTest-1");
    ASSERT_TRUE(持有者.已取得());
    EXPECT_EQ(锁.加锁(0), 加锁结果::超时);
    EXPECT_EQ(锁.加锁(30), 加锁结果::超时);
  }
  EXPECT_EQ(锁.加锁(0xFFFFFFFFu), 加锁结果::取得);
}

// Slots run out and come back when given back, destroyed, or (POSIX) when the process that
// held one dies without giving it back.
TEST(命名锁, 名额用尽后等待超时而归还析构或持有进程死去后可再取) {
  私有锁命名空间 命名空间;
  const std::wstring 名称 = L"Tallybell-SemaphoreTest-1";
  命名信号量 甲, 乙, 丙;
  for (命名信号量* 项 : {&甲, &乙, &丙}) ASSERT_TRUE(项->打开或创建(名称, 2));
  EXPECT_EQ(甲.取得名额(0), 加锁结果::取得);
  EXPECT_EQ(甲.取得名额(0), 加锁结果::取得);  // already held: no second slot is taken
  EXPECT_EQ(乙.取得名额(0), 加锁结果::取得);
  EXPECT_EQ(丙.取得名额(30), 加锁结果::超时);
  乙.归还名额();
  EXPECT_EQ(丙.取得名额(0), 加锁结果::取得);
  {
    auto 临时 = std::make_unique<命名信号量>();
    ASSERT_TRUE(临时->打开或创建(名称, 2));
    甲.归还名额();
    EXPECT_EQ(临时->取得名额(0), 加锁结果::取得);
  }  // the destructor gives the slot back
  EXPECT_EQ(乙.取得名额(0), 加锁结果::取得);
#ifndef _WIN32
  丙.归还名额();
  const pid_t 子 = ::fork();
  if (子 == 0) {
    命名信号量 信号量;
    ::_exit(信号量.打开或创建(名称, 2) && 信号量.取得名额(0) == 加锁结果::取得 ? 0 : 1);
  }
  int 状态 = 0;
  ASSERT_EQ(::waitpid(子, &状态, 0), 子);
  ASSERT_TRUE(WIFEXITED(状态) && WEXITSTATUS(状态) == 0);
  EXPECT_EQ(丙.取得名额(0), 加锁结果::取得);
#endif
}

// A run that died holding the coordinator lock or a download object's lock does not keep
// the next run out: the built program prepares the release as if nobody had held them. The
// release's deepest path is far beyond the old 260-character limit of Windows and installs
// like any other.
TEST(命名锁, 持有者死去后下一次运行照常准备版本) {
  私有锁命名空间 命名空间;
  测试临时目录 目录;
  const std::string 段(60, 'd');
  const std::string 深路径 = 段 + "/" + 段 + "/" + 段 + "/" + 段 + "/" + 段 + "/" + 段 + "/deep.bin";
  写入更新夹具(目录.子路径("fixture"), 夹具策略{}, {{"Tallybell.exe", "exe"}, {深路径, "deep content"}});
  std::vector<std::unique_ptr<命名互斥体>> 句柄;  // keeps a Windows mutex alive once abandoned
  for (const std::wstring& 名称 :
       {std::wstring(协调器锁名称), 下载对象锁前缀 + 逐字节加宽(测试SHA256("deep content"))}) {
    句柄.push_back(std::make_unique<命名互斥体>());
    ASSERT_TRUE(句柄.back()->打开或创建(名称) && 持锁后死去(名称));
  }
  const 程序结果 结果 = 运行更新程序({"--background-check", "--offline-fixture", 目录.子路径("fixture").u8string(),
                                      "--program-root", 目录.子路径("program").u8string(), "--state-root",
                                      目录.子路径("state").u8string()});
  ASSERT_TRUE(结果.已运行);
  EXPECT_EQ(结果.退出码, 0u) << 结果.输出;
  EXPECT_EQ(结果.输出, "background release prepared\n");
  const auto 深文件 = 目录.子路径("program/releases/r2") / std::filesystem::u8path(深路径);
  EXPECT_GT(深文件.wstring().size(), 400u);
  EXPECT_EQ(读测试文件(深文件), "deep content");
}

// A run that finds another holder downloading the same object waits for it and then takes
// the object from the cache instead of downloading it again.
TEST_F(下载任务测试, 另一持有者正在下载同一对象时等待后找到缓存对象) {
  auto 持有者 = std::make_unique<持锁线程>(下载对象锁前缀 + 逐字节加宽(配置_.sha256));
  ASSERT_TRUE(持有者->已取得());
  std::thread 完成下载([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    写测试文件(文件(".object"), 对象_);
    持有者.reset();
  });
  脚本下载传输 传输(对象_);
  const 运行结果 结果 = 运行(传输);
  完成下载.join();
  ASSERT_TRUE(结果.成功) << ::testing::PrintToString(结果.消息);
  EXPECT_TRUE(结果.结果.fromCache && 传输.请求.empty());
}

}  // namespace
}  // namespace tallybell::platform
