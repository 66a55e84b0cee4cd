// The download task over the offline fixture transport, as an offline background check
// runs it.
#include <gtest/gtest.h>

#include "download/download_test_support.h"
#include "transport/offline_fixture.h"

namespace tallybell {
namespace {

namespace fs = std::filesystem;
using namespace 测试;

class 夹具下载 : public 下载任务测试 {
 protected:
  void SetUp() override {
    下载任务测试::SetUp();
    对象_ = 偏移图案(200000);  // several of the fixture's 64 KiB chunks
    配置_.sha256 = 测试SHA256(对象_);
    配置_.size = 对象_.size();
    配置_.downloadUrls = {L"https://content.example/objects/" + std::wstring(配置_.sha256.begin(), 配置_.sha256.end()) +
                          L".object"};
    夹具_.fixtureDir = 目录_.宽路径("fixture");
  }
  void 放入夹具() { 写测试文件(目录_.子路径("fixture/objects/" + 配置_.sha256 + ".object"), 对象_); }

  离线更新夹具传输 夹具_;
};

TEST_F(夹具下载, 中断的下载从断点续传完成) {
  放入夹具();
  写部分(70000);
  写断点(70000, 1, 0, "连接被重置。");
  const 运行结果 结果 = 运行(夹具_);
  ASSERT_TRUE(结果.成功) << ::testing::PrintToString(结果.消息);
  EXPECT_EQ(结果.结果.downloadedSize, 对象_.size());
  EXPECT_EQ(结果.结果.retryCount, 2u);
  EXPECT_EQ(读测试文件(文件(".object")), 对象_);
  EXPECT_EQ(目录内容(缓存()), std::vector<std::string>{配置_.sha256 + ".object"});
}

TEST_F(夹具下载, 夹具中没有对象时保留断点并记下传输的消息) {
  写部分(70000);
  写断点(70000, 1, 0);
  const 运行结果 结果 = 运行(夹具_);
  EXPECT_FALSE(结果.成功);
  EXPECT_EQ(结果.消息, L"所有下载线路均失败，断点已保留。");
  EXPECT_EQ(部分(), 对象_.substr(0, 70000));
  const 断点视图 断点 = 读断点();
  EXPECT_EQ(断点.lastError, "离线对象夹具不存在。");
  EXPECT_EQ(断点.downloaded, 70000u);
  EXPECT_EQ(断点.retryCount, 2u);

  放入夹具();
  ASSERT_TRUE(运行(夹具_).成功);
  EXPECT_EQ(读测试文件(文件(".object")), 对象_);
}

}  // namespace
}  // namespace tallybell
