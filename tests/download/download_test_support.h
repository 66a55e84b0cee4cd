// The setting shared by the download tests: a transport driven by a script, a private lock
// namespace, a temporary cache directory, one object of pattern bytes and a reader for the
// checkpoint that does not go through the code under test.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include <nlohmann/json.hpp>

#include "download/download_task.h"
#include "support/file_helpers.h"
#include "support/lock_namespace.h"
#include "support/release_builder.h"
#include "support/temp_dir.h"
#include "transport/download_transport.h"

namespace tallybell::测试 {

// Object bytes in which every 8-byte word holds its own offset (little endian), so a
// byte written at the wrong place breaks a comparison.
inline std::string 偏移图案(std::uint64_t 大小) {
  std::string 字节(static_cast<std::size_t>(大小), '\0');
  for (std::uint64_t 位置 = 0; 位置 < 大小; ++位置) {
    const std::uint64_t 字 = 位置 / 8 * 8;
    字节[static_cast<std::size_t>(位置)] = static_cast<char>((字 >> (8 * (位置 % 8))) & 0xff);
  }
  return 字节;
}

// A download transport driven by a script, one entry per call, that serves an object the
// way a well-behaved server would unless told to misbehave: cut the body, ignore the
// range, lie in the head, send too much, redirect elsewhere, answer an error status or
// spoil a byte. It keeps the contract of 下载传输 (head once before any body, a
// refused callback stops the transfer and its message is left in place).
struct 传输脚本 {
  std::wstring 连接失败;                    // fail before any head with this message
  std::uint32_t 状态码 = 0;                 // 0: 200 for a whole request, 206 for a range
  bool 忽略范围 = false;                    // answer a range request with the whole object
  std::optional<std::uint64_t> 范围起点;    // Content-Range start instead of the offset served
  std::optional<std::uint64_t> 范围总长;    // Content-Range total instead of the object size
  bool 无效范围 = false;                    // "bytes */N": no valid Content-Range
  std::optional<std::uint64_t> 声明长度;    // Content-Length instead of the body to be sent
  bool 无声明长度 = false;
  std::optional<std::uint64_t> 结束于;      // the body ends at this offset, then the connection resets
  bool 末字节后失败 = false;                // fail after the whole body was taken
  std::string 附加正文;                     // bytes sent after the object's end
  std::wstring 最终地址;                    // final URL instead of the requested one
  bool 损坏 = false;                        // the body's middle byte is flipped
  std::size_t 块大小 = 1000;
};

class 脚本下载传输 : public 下载传输 {
 public:
  explicit 脚本下载传输(std::string 对象, std::vector<传输脚本> 各次脚本 = {})
      : 脚本(std::move(各次脚本)), 对象_(std::move(对象)) {}

  std::vector<传输脚本> 脚本;  // by call; later calls behave well
  std::vector<下载请求> 请求;  // every request received, in order
  std::function<void(const 下载请求&)> 调用前;

  bool 下载(const 下载请求& 请求项, const 下载响应回调& 响应回调, const 下载数据回调& 数据回调,
            std::wstring* 错误) override {
    请求.push_back(请求项);
    if (调用前) 调用前(请求项);
    const 传输脚本 步 = 请求.size() <= 脚本.size() ? 脚本[请求.size() - 1] : 传输脚本{};
    if (!步.连接失败.empty()) return 失败(错误, 步.连接失败);
    const std::uint64_t 大小 = 对象_.size();
    const bool 分段 = 请求项.rangeStart != 0 && !步.忽略范围;
    const std::uint64_t 起点 = 分段 ? std::min(请求项.rangeStart, 大小) : 0;
    const std::uint64_t 终点 = std::min(步.结束于.value_or(大小), 大小);
    std::string 正文 = 对象_.substr(static_cast<std::size_t>(起点), static_cast<std::size_t>(终点 - 起点));
    if (!步.结束于) 正文 += 步.附加正文;
    if (步.损坏 && !正文.empty()) 正文[正文.size() / 2] ^= 0x5a;

    下载响应 头;
    头.statusCode = 步.状态码 != 0 ? 步.状态码 : 分段 ? 206 : 200;
    头.finalUrl = 步.最终地址.empty() ? 请求项.url : 步.最终地址;
    头.hasContentLength = !步.无声明长度;
    const std::uint64_t 意图长度 = !步.结束于 ? 正文.size() : 大小 - 起点;
    头.contentLength = 步.声明长度.value_or(意图长度);
    头.hasContentRange = 头.statusCode == 206 && !步.无效范围;
    头.rangeStart = 步.范围起点.value_or(起点);
    头.rangeTotal = 步.范围总长.value_or(大小);
    头.acceptsByteRanges = true;
    if (!响应回调(头, 错误)) return false;

    for (std::size_t 位置 = 0; 位置 < 正文.size(); 位置 += 步.块大小) {
      const std::size_t 长度 = std::min(步.块大小, 正文.size() - 位置);
      if (!数据回调(reinterpret_cast<const unsigned char*>(正文.data() + 位置), 长度, 错误)) return false;
    }
    if (步.结束于 || 步.末字节后失败) return 失败(错误, L"连接被重置。");
    if (错误 != nullptr) 错误->clear();
    return true;
  }

 private:
  static bool 失败(std::wstring* 错误, const std::wstring& 消息) {
    if (错误 != nullptr) *错误 = 消息;
    return false;
  }

  std::string 对象_;
};


struct 断点视图 {
  bool 存在 = false;
  std::uint64_t downloaded = 0;
  std::string lastError;
  std::uint64_t retryCount = 0;
  std::uint64_t urlIndex = 0;
  // downloaded, lastError, retryCount, urlIndex: one comparison for the whole record.
  auto 字段() const { return std::make_tuple(downloaded, lastError, retryCount, urlIndex); }
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
  // the verified object alone.
  void 续传完成(std::uint64_t 起点) {
    脚本下载传输 传输(对象_);
    const 运行结果 结果 = 运行(传输);
    ASSERT_TRUE(结果.成功) << ::testing::PrintToString(结果.消息);
    ASSERT_EQ(传输.请求.size(), 1u);
    EXPECT_EQ(传输.请求[0].rangeStart, 起点);
    EXPECT_EQ(结果.结果.downloadedSize, 对象_.size());
    EXPECT_EQ(目录内容(缓存()), std::vector<std::string>{配置_.sha256 + ".object"});
    EXPECT_EQ(读测试文件(文件(".object")), 对象_);
  }

  断点视图 读断点() const {
    断点视图 视图;
    if (!std::filesystem::exists(文件(".part.json"))) return 视图;
    const auto 文档 = nlohmann::json::parse(读测试文件(文件(".part.json")));
    视图.存在 = true;
    视图.downloaded = 文档.at("downloaded").get<std::uint64_t>();
    视图.lastError = 文档.at("lastError").get<std::string>();
    视图.retryCount = 文档.at("retryCount").get<std::uint64_t>();
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
