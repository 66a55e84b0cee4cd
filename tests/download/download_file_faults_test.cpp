// A download whose file calls fail: the checkpoint
// never claims bytes .part does not hold, nothing unverified is ever published, and the
// next run without faults completes.
#include <gtest/gtest.h>

#include <optional>

#include "download/download_test_support.h"
#include "support/fault_injection.h"

namespace tallybell {
namespace {

namespace fs = std::filesystem;
using namespace 测试;

// Every file call of a whole download, failed in turn: the run ends with a failure message
// or the verified object, never with anything else under the object's name.
TEST_F(下载任务测试, 任一文件调用失败都不会发布未校验的对象) {
  对象_ = 偏移图案(2500);
  配置_.sha256 = 测试SHA256(对象_);
  配置_.size = 对象_.size();
  const std::function<void()> 起始状态[] = {
      [&] {},
      [&] {
        写部分(1000);
        写断点(1000, 1, 0);
        std::string 坏 = 对象_;
        坏[0] ^= 1;
        写测试文件(文件(".object"), 坏);
      },
  };
  std::vector<传输脚本> 两块(1);
  两块[0].块大小 = 2000;  // whatever .part holds already, the rest comes in at most two chunks
  两块[0].末字节后失败 = true;  // a transfer failing after its last byte still publishes
  std::uint64_t 注入次数 = 0;
  for (std::size_t 状态 = 0; 状态 < 2; ++状态) {
    std::uint64_t 总调用 = 0;
    {
      fs::remove_all(缓存());
      起始状态[状态]();
      脚本下载传输 传输(对象_, 两块);
      文件故障注入 计数;
      ASSERT_TRUE(运行(传输).成功);
      总调用 = 计数.调用次数();
    }
    std::cout << "download: faults injected at calls 1.." << 总调用 << " from start state " << 状态 << "\n";
    // A short write differs from a failed call only for writes, which the fresh start has all of.
    for (auto 类型 : {故障类型::调用失败, 故障类型::短写}) {
      if (状态 != 0 && 类型 == 故障类型::短写) continue;
      for (std::uint64_t n = 1; n <= 总调用; ++n) {
        fs::remove_all(缓存());
        起始状态[状态]();
        脚本下载传输 传输(对象_, 两块);
        运行结果 结果;
        std::string 说明;
        {
          文件故障注入 注入(n, 类型);
          结果 = 运行(传输);
          说明 = "start " + std::to_string(状态) + " n=" + std::to_string(n) + " " + 注入.故障调用();
          注入次数 += 注入.已注入() ? 1 : 0;
        }
        EXPECT_EQ(结果.消息.empty(), 结果.成功) << 说明;
        if (结果.成功 || fs::exists(文件(".object"))) {
          EXPECT_EQ(读测试文件(文件(".object")), 对象_) << 说明;
        }
        // Whatever the outcome, a readable checkpoint describes a prefix that .part holds.
        const 断点视图 断点 = 读断点();
        if (断点.存在 && fs::exists(文件(".part"))) {
          ASSERT_LE(断点.downloaded, 部分().size()) << 说明;
          EXPECT_EQ(部分().substr(0, 断点.downloaded), 对象_.substr(0, 断点.downloaded)) << 说明;
        }
        脚本下载传输 再次(对象_);
        const 运行结果 完成 = 运行(再次);
        EXPECT_TRUE(完成.成功) << 说明 << " " << ::testing::PrintToString(完成.消息);
        EXPECT_EQ(读测试文件(文件(".object")), 对象_) << 说明;
      }
    }
  }
  RecordProperty("faultsInjected", static_cast<int>(注入次数));
}

}  // namespace
}  // namespace tallybell
