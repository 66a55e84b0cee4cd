#include "platform/named_semaphore.h"

#include <gtest/gtest.h>

#include <memory>

#include "support/lock_namespace.h"

namespace tallybell::platform {
namespace {

using 测试::私有锁命名空间;

TEST(命名信号量, 名额用尽后等待超时而归还或析构后可再取) {
  私有锁命名空间 命名空间;
  const std::wstring 名称 = L"Tallybell-SemaphoreTest-1";
  命名信号量 甲, 乙, 丙, 丁;
  for (命名信号量* 项 : {&甲, &乙, &丙, &丁}) ASSERT_TRUE(项->打开或创建(名称, 3));
  EXPECT_EQ(甲.取得名额(0), 加锁结果::取得);
  EXPECT_EQ(甲.取得名额(0), 加锁结果::取得);  // already held: no second slot is taken
  EXPECT_EQ(乙.取得名额(0), 加锁结果::取得);
  EXPECT_EQ(丙.取得名额(0), 加锁结果::取得);
  EXPECT_EQ(丁.取得名额(0), 加锁结果::超时);
  EXPECT_EQ(丁.取得名额(30), 加锁结果::超时);
  EXPECT_FALSE(丁.已持有());

  乙.归还名额();
  EXPECT_FALSE(乙.已持有());
  EXPECT_EQ(丁.取得名额(0), 加锁结果::取得);
  EXPECT_TRUE(丁.已持有());
  EXPECT_EQ(乙.取得名额(0), 加锁结果::超时);
  {
    auto 临时 = std::make_unique<命名信号量>();
    ASSERT_TRUE(临时->打开或创建(名称, 3));
    EXPECT_EQ(临时->取得名额(0), 加锁结果::超时);
    甲.归还名额();
    EXPECT_EQ(临时->取得名额(0), 加锁结果::取得);
  }  // the destructor gives the slot back
  EXPECT_EQ(乙.取得名额(0), 加锁结果::取得);

  // Another name is another semaphore.
  命名信号量 别的;
  ASSERT_TRUE(别的.打开或创建(L"Tallybell-SemaphoreTest-2", 3));
  EXPECT_EQ(别的.取得名额(0), 加锁结果::取得);
}

TEST(命名信号量, 无效名称或名额数被拒绝且未打开时不能取得) {
  私有锁命名空间 命名空间;
  命名信号量 信号量;
  EXPECT_EQ(信号量.取得名额(0), 加锁结果::错误);
  EXPECT_FALSE(信号量.打开或创建(L"", 3));
  EXPECT_FALSE(信号量.打开或创建(L"a\\b", 3));
  EXPECT_FALSE(信号量.打开或创建(L"Tallybell-SemaphoreTest-3", 0));
  EXPECT_FALSE(信号量.打开或创建(L"Tallybell-SemaphoreTest-3", 65));
  EXPECT_EQ(信号量.取得名额(0), 加锁结果::错误);
  ASSERT_TRUE(信号量.打开或创建(L"Tallybell-SemaphoreTest-3", 1));
  EXPECT_EQ(信号量.取得名额(0), 加锁结果::取得);
}

}  // namespace
}  // namespace tallybell::platform
