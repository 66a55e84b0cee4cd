// The small platform services with one contract on both builds: clocks and ids, GUIDs,
// the module path, and the SHA-256 engine's life cycle (the digests themselves are checked
// against published vectors in the documents tests).
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <thread>

#include "documents/sha256.h"
#include "platform/clock.h"
#include "platform/sha256_engine.h"
#include "platform/system_info.h"

namespace tallybell::platform {
namespace {

// Also: GUIDs are random ones of version 4, and the module path names the test program.
TEST(平台服务, 时间从1601年起以百纳秒计毫秒计时前进而线程与进程标识可区分) {
  // 11644473600 seconds lie between 1601-01-01 and 1970-01-01.
  EXPECT_NEAR(static_cast<double>(系统时间() / 10000000ull - 11644473600ull), static_cast<double>(std::time(nullptr)), 5);
  const std::uint64_t 开始 = 毫秒计时();
  std::uint32_t 别的线程 = 线程标识(), 别处进程 = 0;
  std::thread([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    别的线程 = 线程标识();
    别处进程 = 进程标识();
  }).join();
  // The Windows tick moves in steps of 10 to 16 ms, so allow one step early.
  EXPECT_GE(毫秒计时() - 开始, 84u);
  EXPECT_NE(别的线程, 线程标识());
  EXPECT_EQ(别处进程, 进程标识());
  const 本地时刻 t = 取本地时刻();
  EXPECT_TRUE(t.年 >= 2024 && t.月 >= 1 && t.月 <= 12 && t.日 >= 1 && t.日 <= 31 && t.时 <= 23 && t.分 <= 59 &&
              t.秒 <= 60 && t.毫秒 <= 999);
  GUID值 甲, 乙;
  ASSERT_TRUE(生成GUID(&甲) && 生成GUID(&乙));
  EXPECT_EQ(甲.数据3 >> 12, 4);         // version 4: random
  EXPECT_EQ(甲.数据4[0] & 0xC0, 0x80);  // RFC 4122 variant
  EXPECT_FALSE(甲.数据1 == 乙.数据1 && std::memcmp(甲.数据4, 乙.数据4, 8) == 0);
  const std::filesystem::path 路径(本程序路径());
  EXPECT_TRUE(路径.stem() == "tallybell-tests" && std::filesystem::is_regular_file(路径)) << 路径;
}

TEST(平台服务, SHA256引擎须先开始且每次重用前重新开始) {
  SHA256引擎 引擎;
  unsigned char 结果[32] = {};
  EXPECT_FALSE(引擎.更新("abc", 3) || 引擎.完成(结果));
  ASSERT_TRUE(引擎.开始() && 引擎.更新("stale", 5));
  ASSERT_TRUE(引擎.开始());  // starting again discards what was hashed so far
  ASSERT_TRUE(引擎.更新(nullptr, 0) && 引擎.更新("abc", 3) && 引擎.完成(结果));
  EXPECT_EQ(转小写十六进制(结果), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_FALSE(引擎.更新("abc", 3));
  ASSERT_TRUE(引擎.开始() && 引擎.完成(结果));
  EXPECT_EQ(转小写十六进制(结果), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

}  // namespace
}  // namespace tallybell::platform
