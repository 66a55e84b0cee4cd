#include "download/download_task.h"

#include <gtest/gtest.h>

#include "download/download_test_support.h"
#include "support/fault_injection.h"

namespace tallybell {
namespace {

namespace fs = std::filesystem;
using namespace 测试;

const 下载任务结果 哨兵结果{L"sentinel", true, 77, 88};

bool 与哨兵相同(const 下载任务结果& 结果) {
  return 结果.objectPath == L"sentinel" && 结果.fromCache && 结果.downloadedSize == 77 && 结果.retryCount == 88;
}

TEST_F(下载任务测试, 参数或地址无效时什么也不碰) {
  脚本下载传输 传输(对象_);
  const std::function<void(下载对象配置&)> 修改表[] = {
      [](auto& c) { c.objectDirectory.clear(); },
      [](auto& c) { c.sha256[5] = 'A'; },
      [](auto& c) { c.sha256.pop_back(); },
      [](auto& c) { c.sha256 += "0"; },
      [](auto& c) { c.downloadUrls.clear(); },
      [](auto& c) { c.totalTimeoutMs = 0; },
      [](auto& c) { c.downloadUrls.push_back(L"http://mirror.example/o"); },
  };
  for (const auto& 修改 : 修改表) {
    下载对象配置 配置 = 配置_;
    修改(配置);
    下载任务结果 结果 = 哨兵结果;
    EXPECT_FALSE(下载任务::执行(配置, &传输, &结果, nullptr));
    EXPECT_TRUE(与哨兵相同(结果));
  }
  EXPECT_TRUE(传输.请求.empty());
  EXPECT_FALSE(fs::exists(缓存()));
}

// A checkpoint is trusted only when it describes exactly what .part holds; a dropped one
// takes its backup with it, a kept one becomes the backup.
TEST_F(下载任务测试, 与部分文件相符的断点续传而不符的从零开始) {
  const auto 改写断点 = [&](const char* 键, nlohmann::json 值) {
    auto 文档 = nlohmann::json::parse(读测试文件(文件(".part.json")));
    文档[键] = std::move(值);
    写测试文件(文件(".part.json"), 文档.dump());
  };
  const struct {
    const char* 名称;
    std::function<void()> 布置;
    std::uint64_t 起点;
  } 用例[] = {
      {"matching", [] {}, 5000},
      {"one byte off", [&] { 改写断点("downloaded", 4999); }, 0},
      {"no checkpoint", [&] { fs::remove(文件(".part.json")); }, 0},
      {"other hash", [&] { 改写断点("hash", "00"); }, 0},
      {"other size", [&] { 改写断点("targetSize", 12294); }, 0},
      {"negative counter", [&] { 改写断点("retryCount", -7); }, 0},
      {"not JSON", [&] { 写测试文件(文件(".part.json"), "{"); }, 0},
  };
  for (const auto& 项 : 用例) {
    SCOPED_TRACE(项.名称);
    fs::remove_all(缓存());
    写部分(5000);
    写断点(5000, 7, 0);
    写测试文件(文件(".part.json.bak"), "an older checkpoint");
    项.布置();
    脚本下载传输 传输(对象_);
    std::string 备份;
    传输.调用前 = [&](const 下载请求&) { 备份 = 读测试文件(文件(".part.json.bak")); };
    const 运行结果 结果 = 运行(传输);
    ASSERT_TRUE(结果.成功);
    ASSERT_EQ(传输.请求.size(), 1u);
    EXPECT_EQ(传输.请求[0].rangeStart, 项.起点);
    EXPECT_EQ(结果.结果.retryCount, 项.起点 != 0 ? 8u : 1u);
    EXPECT_EQ(备份.find("\"downloaded\":5000,") != std::string::npos, 项.起点 != 0) << 备份;
    EXPECT_EQ(备份.empty(), 项.起点 == 0);
    EXPECT_EQ(读测试文件(文件(".object")), 对象_);
  }
}

// The bytes a resumed run keeps must be durable before a checkpoint claims them: when
// .part cannot be flushed the run starts over instead of resuming.
TEST_F(下载任务测试, 无法刷新的部分文件不被续传) {
  写部分(5000);
  写断点(5000, 7, 0);
  脚本下载传输 传输(对象_);
  运行结果 结果;
  {
    文件故障注入 刷新失败(1, 故障类型::刷新失败);
    结果 = 运行(传输);
    EXPECT_TRUE(刷新失败.已注入());
  }
  ASSERT_TRUE(结果.成功) << ::testing::PrintToString(结果.消息);
  ASSERT_EQ(传输.请求.size(), 1u);
  EXPECT_EQ(传输.请求[0].rangeStart, 0u);
  EXPECT_EQ(读测试文件(文件(".object")), 对象_);
}

TEST_F(下载任务测试, 三条线路从断点所指的一条开始轮换并跨运行记住下一条) {
  配置_.downloadUrls = {L"https://u0.example/o", L"https://u1.example/o", L"https://u2.example/o"};
  写部分(1000);
  写断点(1000, 5, 2, "earlier");
  std::vector<传输脚本> 脚本(3);
  脚本[0].结束于 = 3000;
  脚本[1].结束于 = 6000;
  脚本[2].连接失败 = L"线路一无法连接。";
  脚本下载传输 传输(对象_, 脚本);
  std::vector<断点视图> 调用时断点;
  传输.调用前 = [&](const 下载请求&) { 调用时断点.push_back(读断点()); };
  const 运行结果 结果 = 运行(传输);
  EXPECT_FALSE(结果.成功);
  EXPECT_EQ(结果.消息, L"所有下载线路均失败，断点已保留。");
  const std::pair<const wchar_t*, std::uint64_t> 期望请求[] = {
      {L"https://u2.example/o", 1000}, {L"https://u0.example/o", 3000}, {L"https://u1.example/o", 6000}};
  ASSERT_EQ(传输.请求.size(), 3u);
  ASSERT_EQ(调用时断点.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(传输.请求[i].url, 期望请求[i].first);
    EXPECT_EQ(传输.请求[i].rangeStart, 期望请求[i].second);
    // While an attempt runs the checkpoint names its URL and carries no error.
    EXPECT_EQ(调用时断点[i].urlIndex, (2 + i) % 3);
    EXPECT_EQ(调用时断点[i].lastError, "");
    EXPECT_EQ(调用时断点[i].downloaded, 期望请求[i].second);
    EXPECT_EQ(调用时断点[i].retryCount, 5 + i);
  }
  const 断点视图 之后 = 读断点();
  EXPECT_EQ(之后.urlIndex, 2u);
  EXPECT_EQ(之后.retryCount, 8u);
  EXPECT_EQ(之后.lastError, "线路一无法连接。");
  EXPECT_EQ(之后.downloaded, 6000u);
  EXPECT_EQ(部分(), 对象_.substr(0, 6000));
  EXPECT_EQ(fs::path(结果.结果.objectPath), 文件(".object"));
  EXPECT_FALSE(结果.结果.fromCache);
  EXPECT_EQ(结果.结果.downloadedSize, 0u);
  EXPECT_EQ(结果.结果.retryCount, 8u);

  脚本下载传输 下一次(对象_);
  ASSERT_TRUE(运行(下一次).成功);
  ASSERT_EQ(下一次.请求.size(), 1u);
  EXPECT_EQ(下一次.请求[0].url, L"https://u2.example/o");
  EXPECT_EQ(下一次.请求[0].rangeStart, 6000u);
}

// As after a failed commit: a range request from the end could never be answered, so a
// complete .part is verified and published, or thrown away and fetched from the start.
TEST_F(下载任务测试, 已完整的部分文件校验后直接发布或从零重下) {
  for (const bool 正确 : {true, false}) {
    SCOPED_TRACE(正确);
    fs::remove_all(缓存());
    std::string 部分内容 = 对象_;
    if (!正确) 部分内容[7] ^= 1;
    写测试文件(文件(".part"), 部分内容);
    写断点(对象_.size(), 3, 0);
    脚本下载传输 传输(对象_);
    const 运行结果 结果 = 运行(传输);
    ASSERT_TRUE(结果.成功);
    EXPECT_EQ(传输.请求.size(), 正确 ? 0u : 1u);
    EXPECT_TRUE(正确 || 传输.请求.at(0).rangeStart == 0);
    EXPECT_EQ(结果.结果.retryCount, 正确 ? 3u : 4u);
    EXPECT_EQ(目录内容(缓存()), std::vector<std::string>{配置_.sha256 + ".object"});
    EXPECT_EQ(读测试文件(文件(".object")), 对象_);
  }
}

}  // namespace
}  // namespace tallybell
