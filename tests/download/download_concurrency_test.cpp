// Downloads in several processes of a session meet on the per-object lock and the three
// download slots. Other holders are threads here, each with its own lock handles, which
// the platform treats like another process.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "download/download_test_support.h"
#include "platform/named_mutex.h"
#include "platform/named_semaphore.h"

namespace tallybell {
namespace {

namespace fs = std::filesystem;
using namespace 测试;

// A one-way signal between threads.
class 信号 {
 public:
  void 发出() {
    std::lock_guard<std::mutex> 锁(互斥_);
    已发出_ = true;
    条件_.notify_all();
  }
  void 等待() {
    std::unique_lock<std::mutex> 锁(互斥_);
    条件_.wait(锁, [&] { return 已发出_; });
  }
  // Bounded only so that a broken run fails instead of hanging.
  bool 等待至多(std::chrono::seconds 秒) {
    std::unique_lock<std::mutex> 锁(互斥_);
    return 条件_.wait_for(锁, 秒, [&] { return 已发出_; });
  }

 private:
  std::mutex 互斥_;
  std::condition_variable 条件_;
  bool 已发出_ = false;
};

TEST_F(下载任务测试, 另一持有者下载同一对象时等待后直接使用其结果) {
  信号 已持有;
  std::thread 另一下载者([&] {
    platform::命名互斥体 锁;
    ASSERT_TRUE(锁.打开或创建(下载对象锁前缀 + std::wstring(配置_.sha256.begin(), 配置_.sha256.end())));
    ASSERT_EQ(锁.加锁(0), platform::加锁结果::取得);
    已持有.发出();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    写测试文件(文件(".object"), 对象_);  // as its own download would have published it
    锁.解锁();
  });
  已持有.等待();
  脚本下载传输 传输(对象_);
  const 运行结果 结果 = 运行(传输);
  另一下载者.join();
  ASSERT_TRUE(结果.成功);
  EXPECT_TRUE(结果.结果.fromCache);
  EXPECT_TRUE(传输.请求.empty());
}

TEST_F(下载任务测试, 对象锁等待超时时所有文件保持原样) {
  写部分(700);
  写断点(700, 3, 0, "earlier");
  std::string 坏对象 = 对象_;
  坏对象[1] ^= 1;
  写测试文件(文件(".object"), 坏对象);
  const auto 之前 = 目录内容(缓存());
  const std::string 之前断点 = 读测试文件(文件(".part.json"));

  信号 已持有, 可以释放;
  std::thread 另一下载者([&] {
    platform::命名互斥体 锁;
    ASSERT_TRUE(锁.打开或创建(下载对象锁前缀 + std::wstring(配置_.sha256.begin(), 配置_.sha256.end())));
    ASSERT_EQ(锁.加锁(0), platform::加锁结果::取得);
    已持有.发出();
    可以释放.等待();
  });
  已持有.等待();
  配置_.totalTimeoutMs = 100;
  脚本下载传输 传输(对象_);
  下载任务结果 结果{L"sentinel", true, 1, 2};
  std::wstring 消息;
  const bool 成功 = 下载任务::执行(配置_, &传输, &结果, &消息);
  可以释放.发出();
  另一下载者.join();
  EXPECT_FALSE(成功);
  EXPECT_EQ(消息, L"等待同一下载对象超时。");
  EXPECT_EQ(结果.objectPath, L"sentinel");
  EXPECT_TRUE(传输.请求.empty());
  EXPECT_EQ(目录内容(缓存()), 之前);
  EXPECT_EQ(读测试文件(文件(".object")), 坏对象);
  EXPECT_EQ(读测试文件(文件(".part.json")), 之前断点);
}

// Three transfers hold the three slots; a fourth object waits for one and gives up at its
// time limit, keeping its (reset) checkpoint; once the others finish it goes through.
TEST_F(下载任务测试, 三个名额全在传输时第四个对象在时限处失败) {
  std::atomic<int> 传输中{0};
  信号 三个都在传输, 放行;
  std::vector<std::thread> 下载者;
  std::vector<运行结果> 结果(3);
  for (int 序号 = 0; 序号 < 3; ++序号) {
    下载者.emplace_back([&, 序号] {
      const std::string 内容 = 偏移图案(1000 + static_cast<std::uint64_t>(序号));
      下载对象配置 配置 = 配置_;
      配置.sha256 = 测试SHA256(内容);
      配置.size = 内容.size();
      脚本下载传输 传输(内容);
      传输.调用前 = [&](const 下载请求&) {
        if (++传输中 == 3) 三个都在传输.发出();
        放行.等待();
      };
      结果[static_cast<std::size_t>(序号)].成功 =
          下载任务::执行(配置, &传输, &结果[static_cast<std::size_t>(序号)].结果, &结果[static_cast<std::size_t>(序号)].消息);
    });
  }
  const bool 三个都到了 = 三个都在传输.等待至多(std::chrono::seconds(60));
  写部分(600);
  写断点(600, 1, 0);
  配置_.totalTimeoutMs = 300;
  脚本下载传输 第四(对象_);
  const 运行结果 超时 = 运行(第四);
  放行.发出();
  for (auto& 线程 : 下载者) 线程.join();

  ASSERT_TRUE(三个都到了);
  EXPECT_FALSE(超时.成功);
  EXPECT_EQ(超时.消息, L"等待下载并发名额超时。");
  EXPECT_TRUE(第四.请求.empty());
  EXPECT_EQ(部分(), 对象_.substr(0, 600));
  EXPECT_EQ(读断点().retryCount, 1u);
  for (const auto& 项 : 结果) {
    EXPECT_TRUE(项.成功) << ::testing::PrintToString(项.消息);
  }
  配置_.totalTimeoutMs = 30000;
  续传完成(600);
}

}  // namespace
}  // namespace tallybell
