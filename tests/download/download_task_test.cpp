#include "download/download_task.h"

#include <gtest/gtest.h>

#include <regex>

#include "download/download_test_support.h"
#include "platform/file_system.h"
#include "platform/named_semaphore.h"

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
  std::string 大写 = 配置_.sha256;
  大写[5] = 'A';
  const std::function<void(下载对象配置&)> 修改表[] = {
      [](auto& c) { c.objectDirectory.clear(); },
      [&](auto& c) { c.sha256 = 大写; },
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

TEST_F(下载任务测试, 损坏的对象或同名目录被移开后重新下载) {
  for (const bool 是目录 : {false, true}) {
    fs::remove_all(缓存());
    std::string 坏内容 = 对象_;
    坏内容[100] ^= 1;
    if (是目录) {
      fs::create_directories(文件(".object") / "inner");
    } else {
      写测试文件(文件(".object"), 坏内容);
    }
    脚本下载传输 传输(对象_);
    const 运行结果 结果 = 运行(传输);
    ASSERT_TRUE(结果.成功) << ::testing::PrintToString(结果.消息);
    EXPECT_FALSE(结果.结果.fromCache);
    EXPECT_EQ(读测试文件(文件(".object")), 对象_);
    const std::regex 形式(配置_.sha256 + "\\.object\\.corrupt-[1-9][0-9]*-(0|[1-9][0-9]*)");
    const auto 名称 = 目录内容(缓存());
    ASSERT_EQ(名称.size(), 2u);
    EXPECT_EQ(名称[0], 配置_.sha256 + ".object");
    EXPECT_TRUE(std::regex_match(名称[1], 形式)) << 名称[1];
    if (是目录) {
      EXPECT_TRUE(fs::is_directory(缓存() / 名称[1] / "inner"));
    } else {
      EXPECT_EQ(读测试文件(缓存() / 名称[1]), 坏内容);
    }
  }
}

TEST_F(下载任务测试, 与部分文件相符的断点续传而不符的从零开始) {
  const struct {
    const char* 名称;
    std::function<void()> 布置;
    std::uint64_t 起点;
    std::uint32_t 次数;
  } 用例[] = {
      {"matching", [&] { 写断点(5000, 7, 0); }, 5000, 8},
      {"one byte off", [&] { 写断点(4999, 7, 0); }, 0, 1},
      {"no checkpoint", [] {}, 0, 1},
      {"other hash",
       [&] { 写测试文件(文件(".part.json"), R"({"downloaded":5000,"hash":"00","lastError":"","retryCount":7,"targetSize":12293,"urlIndex":0})"); },
       0, 1},
      {"other size",
       [&] {
         写测试文件(文件(".part.json"), R"({"downloaded":5000,"hash":")" + 配置_.sha256 +
                                          R"(","lastError":"","retryCount":7,"targetSize":12294,"urlIndex":0})");
       },
       0, 1},
      {"negative counter",
       [&] {
         写测试文件(文件(".part.json"), R"({"downloaded":5000,"hash":")" + 配置_.sha256 +
                                          R"(","lastError":"","retryCount":-7,"targetSize":12293,"urlIndex":0})");
       },
       0, 1},
      {"not JSON", [&] { 写测试文件(文件(".part.json"), "{"); }, 0, 1},
  };
  for (const auto& 项 : 用例) {
    fs::remove_all(缓存());
    写部分(5000);
    写测试文件(文件(".part.json.bak"), "an older checkpoint");
    项.布置();
    脚本下载传输 传输(对象_);
    // A dropped checkpoint takes its backup with it; a kept one becomes the backup.
    std::string 备份;
    传输.调用前 = [&](const 下载请求&) { 备份 = 读测试文件(文件(".part.json.bak")); };
    const 运行结果 结果 = 运行(传输);
    ASSERT_TRUE(结果.成功) << 项.名称;
    ASSERT_EQ(传输.请求.size(), 1u) << 项.名称;
    EXPECT_EQ(传输.请求[0].rangeStart, 项.起点) << 项.名称;
    EXPECT_EQ(结果.结果.retryCount, 项.次数) << 项.名称;
    EXPECT_EQ(备份.find("\"downloaded\":5000,") != std::string::npos, 项.起点 != 0) << 备份;
    EXPECT_EQ(备份.empty(), 项.起点 == 0) << 项.名称;
    EXPECT_EQ(读测试文件(文件(".object")), 对象_) << 项.名称;
  }
}

TEST_F(下载任务测试, 三条线路从断点所指的一条开始轮换并跨运行记住下一条) {
  配置_.downloadUrls = {L"https://u0.example/o", L"https://u1.example/o", L"https://u2.example/o"};
  写部分(1000);
  写断点(1000, 5, 2, "earlier");
  std::vector<传输脚本> 脚本(3);
  脚本[0].结束于 = 3000;
  脚本[0].失败消息 = L"线路二断开。";
  脚本[1].结束于 = 6000;
  脚本[1].失败消息 = L"线路零断开。";
  脚本[2].连接失败 = L"线路一无法连接。";
  脚本下载传输 传输(对象_, 脚本);
  std::vector<断点视图> 调用时断点;
  传输.调用前 = [&](const 下载请求&) { 调用时断点.push_back(读断点()); };
  下载任务结果 结果 = 哨兵结果;
  std::wstring 消息;
  EXPECT_FALSE(下载任务::执行(配置_, &传输, &结果, &消息));
  EXPECT_EQ(消息, L"所有下载线路均失败，断点已保留。");

  ASSERT_EQ(传输.请求.size(), 3u);
  EXPECT_EQ(传输.请求[0].url, L"https://u2.example/o");
  EXPECT_EQ(传输.请求[1].url, L"https://u0.example/o");
  EXPECT_EQ(传输.请求[2].url, L"https://u1.example/o");
  EXPECT_EQ(传输.请求[0].rangeStart, 1000u);
  EXPECT_EQ(传输.请求[1].rangeStart, 3000u);
  EXPECT_EQ(传输.请求[2].rangeStart, 6000u);
  // While an attempt runs the checkpoint names its URL and carries no error.
  ASSERT_EQ(调用时断点.size(), 3u);
  EXPECT_EQ(调用时断点[1].urlIndex, 0u);
  EXPECT_EQ(调用时断点[1].lastError, "");
  EXPECT_EQ(调用时断点[1].downloaded, 3000u);
  EXPECT_EQ(调用时断点[1].retryCount, 6u);

  const 断点视图 之后 = 读断点();
  EXPECT_EQ(之后.urlIndex, 2u);
  EXPECT_EQ(之后.retryCount, 8u);
  EXPECT_EQ(之后.lastError, "线路一无法连接。");
  EXPECT_EQ(之后.downloaded, 6000u);
  EXPECT_EQ(部分(), 对象_.substr(0, 6000));
  EXPECT_EQ(fs::path(结果.objectPath), 文件(".object"));
  EXPECT_FALSE(结果.fromCache);
  EXPECT_EQ(结果.downloadedSize, 0u);
  EXPECT_EQ(结果.retryCount, 8u);

  脚本下载传输 下一次(对象_);
  const 运行结果 完成 = 运行(下一次);
  ASSERT_TRUE(完成.成功);
  ASSERT_EQ(下一次.请求.size(), 1u);
  EXPECT_EQ(下一次.请求[0].url, L"https://u2.example/o");
  EXPECT_EQ(下一次.请求[0].rangeStart, 6000u);
  EXPECT_EQ(完成.结果.retryCount, 9u);
}

TEST_F(下载任务测试, 末字节之后传输失败仍发布而完整但哈希错的部分被删除) {
  配置_.downloadUrls = {L"https://u0.example/o", L"https://u1.example/o"};
  std::vector<传输脚本> 脚本(1);
  脚本[0].末字节后失败 = true;
  脚本下载传输 传输(对象_, 脚本);
  运行结果 结果 = 运行(传输);
  ASSERT_TRUE(结果.成功);
  EXPECT_EQ(传输.请求.size(), 1u);
  EXPECT_EQ(读测试文件(文件(".object")), 对象_);

  fs::remove_all(缓存());
  脚本[0] = 传输脚本{};
  脚本[0].损坏 = true;
  脚本下载传输 坏一次(对象_, 脚本);
  bool 部分已删除 = false;
  坏一次.调用前 = [&](const 下载请求&) {
    if (坏一次.请求.size() == 2) 部分已删除 = !fs::exists(文件(".part"));
  };
  结果 = 运行(坏一次);
  ASSERT_TRUE(结果.成功);
  ASSERT_EQ(坏一次.请求.size(), 2u);
  EXPECT_EQ(坏一次.请求[1].rangeStart, 0u);
  EXPECT_TRUE(部分已删除);
  EXPECT_EQ(结果.结果.retryCount, 2u);
  EXPECT_EQ(读测试文件(文件(".object")), 对象_);
}

TEST_F(下载任务测试, 已完整的部分文件校验后直接发布不再请求) {
  // As after a failed commit: a range request from the end could never be answered.
  写部分(对象_.size());
  写断点(对象_.size(), 3, 0);
  脚本下载传输 传输(对象_);
  const 运行结果 结果 = 运行(传输);
  ASSERT_TRUE(结果.成功);
  EXPECT_TRUE(传输.请求.empty());
  EXPECT_EQ(结果.结果.downloadedSize, 对象_.size());
  EXPECT_EQ(结果.结果.retryCount, 3u);
  EXPECT_EQ(目录内容(缓存()), std::vector<std::string>{配置_.sha256 + ".object"});

  // Complete but wrong: thrown away and fetched from the start.
  fs::remove_all(缓存());
  std::string 坏 = 对象_;
  坏[7] ^= 1;
  写测试文件(文件(".part"), 坏);
  写断点(对象_.size(), 3, 0);
  脚本下载传输 再次(对象_);
  ASSERT_TRUE(运行(再次).成功);
  ASSERT_EQ(再次.请求.size(), 1u);
  EXPECT_EQ(再次.请求[0].rangeStart, 0u);
  EXPECT_EQ(读测试文件(文件(".object")), 对象_);
}

}  // namespace
}  // namespace tallybell
