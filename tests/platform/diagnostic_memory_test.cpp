// The diagnostic channel the application creates, opened by the update core: the same
// contract on both builds, with the channel made the application's way by the fixture.
#include "platform/diagnostic_memory.h"

#include <gtest/gtest.h>

#include <cstring>

#include "diagnostics/diagnostic_line.h"
#include "support/diagnostic_channel_fixture.h"

namespace tallybell::platform {
namespace {

using 测试::测试诊断通道;

bool 写一行(const std::string& 标识) {
  bool 已调用 = false;
  写诊断结果行(标识, "quarantine-commit", 0, [&] {
    已调用 = true;
    return std::string("{}");
  });
  return 已调用;
}

TEST(诊断共享内存, 打开应用创建的通道并共享它的内存) {
  测试诊断通道 应用("contract-open");
  ASSERT_TRUE(应用.已创建());
  诊断共享内存 通道;
  通道.打开("contract-open");
  EXPECT_TRUE(通道.有映射() && 通道.有锁());
  ASSERT_NE(通道.视图(), nullptr);
  ASSERT_EQ(通道.加锁(200), 加锁结果::取得);
  // Both ends of the view, written by the update core, are seen by the application.
  std::memcpy(通道.视图() + 8, "line", 4);
  通道.视图()[诊断视图字节数 - 1] = 0x5A;
  通道.解锁();
  EXPECT_EQ(std::memcmp(应用.视图() + 8, "line", 4), 0);
  EXPECT_EQ(应用.视图()[诊断视图字节数 - 1], 0x5A);
  通道.关闭();
  EXPECT_FALSE(通道.有映射() || 通道.有锁());
  EXPECT_EQ(通道.视图(), nullptr);
  EXPECT_EQ(通道.加锁(0), 加锁结果::错误);
}

TEST(诊断共享内存, 应用没有创建的通道不会被更新核心创建) {
  测试诊断通道 别的("contract-other");
  // Twice: had the first opening created anything, the second would find it.
  for (int 次 = 0; 次 < 2; ++次) {
    诊断共享内存 通道;
    通道.打开("contract-absent");
    EXPECT_FALSE(通道.有映射() || 通道.有锁());
    EXPECT_EQ(通道.视图(), nullptr);
    EXPECT_EQ(通道.加锁(0), 加锁结果::错误);
    通道.解锁();  // harmless without a lock
  }
  EXPECT_FALSE(写一行("contract-absent"));
}

TEST(诊断共享内存, 别处持锁时等待有界且行被丢弃而持有者死去后锁被取得) {
  测试诊断通道 应用("contract-lock");
  ASSERT_TRUE(应用.已创建());
  ASSERT_TRUE(应用.别处持锁(true));
  诊断共享内存 通道;
  通道.打开("contract-lock");
  EXPECT_EQ(通道.加锁(30), 加锁结果::超时);
  EXPECT_TRUE(写一行("contract-lock"));  // formatted, then dropped
  EXPECT_EQ(应用.已用(), 0u);
  ASSERT_TRUE(应用.别处持锁(false));
  ASSERT_TRUE(应用.锁持有者死去());
  EXPECT_EQ(通道.加锁(200), 加锁结果::取得);
  通道.解锁();
  EXPECT_TRUE(写一行("contract-lock"));
  EXPECT_NE(应用.已用(), 0u);
}

}  // namespace
}  // namespace tallybell::platform
