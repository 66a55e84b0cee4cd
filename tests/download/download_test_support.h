// The setting shared by the download task tests: a private lock namespace, a temporary
// cache directory, one object of pattern bytes and a reader for the checkpoint that does
// not go through the code under test.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <nlohmann/json.hpp>

#include "download/download_task.h"
#include "download/scripted_transport.h"
#include "support/file_helpers.h"
#include "support/lock_namespace.h"
#include "support/release_builder.h"
#include "support/temp_dir.h"

namespace tallybell::测试 {

struct 断点视图 {
  bool 存在 = false;
  std::uint64_t downloaded = 0;
  std::string hash;
  std::string lastError;
  std::uint64_t retryCount = 0;
  std::uint64_t targetSize = 0;
  std::uint64_t urlIndex = 0;
};

struct 运行结果 {
  bool 成功 = false;
  std::wstring 消息;
  下载任务结果 结果;
};

class 下载任务测试 : public ::testing::Test {
 protected:
  void SetUp() override {
    配置_.objectDirectory = 目录_.宽路径("cache/objects");
    配置_.sha256 = 测试SHA256(对象_);
    配置_.size = 对象_.size();
    配置_.downloadUrls = {L"https://a.example/o"};
    配置_.totalTimeoutMs = 30000;
  }

  std::filesystem::path 缓存() const { return 目录_.子路径("cache/objects"); }
  std::filesystem::path 文件(const std::string& 后缀) const { return 缓存() / (配置_.sha256 + 后缀); }
  std::string 部分() const { return 读测试文件(文件(".part")); }

  运行结果 运行(下载传输& 传输) {
    运行结果 结果;
    结果.消息 = L"stale";
    结果.成功 = 下载任务::执行(配置_, &传输, &结果.结果, &结果.消息);
    return 结果;
  }

  // Runs with a well-behaved transport and checks that it resumes at 起点 and ends with
  // the verified object.
  void 续传完成(std::uint64_t 起点) {
    脚本下载传输 传输(对象_);
    const 运行结果 结果 = 运行(传输);
    ASSERT_TRUE(结果.成功) << ::testing::PrintToString(结果.消息);
    ASSERT_EQ(传输.请求.size(), 1u);
    EXPECT_EQ(传输.请求[0].rangeStart, 起点);
    EXPECT_EQ(读测试文件(文件(".object")), 对象_);
    EXPECT_FALSE(std::filesystem::exists(文件(".part")));
    EXPECT_FALSE(std::filesystem::exists(文件(".part.json")));
    EXPECT_FALSE(std::filesystem::exists(文件(".part.json.bak")));
    EXPECT_EQ(结果.结果.downloadedSize, 对象_.size());
  }

  断点视图 读断点() const {
    断点视图 视图;
    if (!std::filesystem::exists(文件(".part.json"))) return 视图;
    const auto 文档 = nlohmann::json::parse(读测试文件(文件(".part.json")));
    视图.存在 = true;
    视图.downloaded = 文档.at("downloaded").get<std::uint64_t>();
    视图.hash = 文档.at("hash").get<std::string>();
    视图.lastError = 文档.at("lastError").get<std::string>();
    视图.retryCount = 文档.at("retryCount").get<std::uint64_t>();
    视图.targetSize = 文档.at("targetSize").get<std::uint64_t>();
    视图.urlIndex = 文档.at("urlIndex").get<std::uint64_t>();
    return 视图;
  }

  // Writes a checkpoint the way an earlier run would have left it.
  void 写断点(std::uint64_t 已下载, std::uint64_t 次数, std::uint64_t 线路, const std::string& 错误 = "") {
    nlohmann::json 文档 = {{"downloaded", 已下载}, {"hash", 配置_.sha256}, {"lastError", 错误},
                           {"retryCount", 次数},   {"targetSize", 配置_.size}, {"urlIndex", 线路}};
    写测试文件(文件(".part.json"), 文档.dump());
  }

  void 写部分(std::uint64_t 字节) { 写测试文件(文件(".part"), 对象_.substr(0, static_cast<std::size_t>(字节))); }

  私有锁命名空间 命名空间_;
  测试临时目录 目录_;
  std::string 对象_ = 偏移图案(12293);
  下载对象配置 配置_;
};

}  // namespace tallybell::测试
