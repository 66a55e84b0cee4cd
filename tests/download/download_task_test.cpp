#include "download/download_task.h"

#include <gtest/gtest.h>

#include <optional>
#include <regex>
#include <tuple>

#include "download/object_cache.h"

#include "download/download_test_support.h"
#include "support/fault_injection.h"

namespace tallybell {
namespace {

namespace fs = std::filesystem;
using namespace 测试;

TEST_F(下载任务测试, 参数或地址无效时什么也不碰) {
  脚本下载传输 传输(对象_);
  const std::function<void(下载对象配置&)> 修改表[] = {
      [](auto& c) { c.objectDirectory.clear(); }, [](auto& c) { c.sha256[5] = 'A'; },
      [](auto& c) { c.sha256.pop_back(); },       [](auto& c) { c.sha256 += "0"; },
      [](auto& c) { c.downloadUrls.clear(); },    [](auto& c) { c.totalTimeoutMs = 0; },
      [](auto& c) { c.downloadUrls.push_back(L"http://mirror.example/o"); },
  };
  for (const auto& 修改 : 修改表) {
    下载对象配置 配置 = 配置_;
    修改(配置);
    下载任务结果 结果{L"sentinel", true, 77, 88};
    EXPECT_FALSE(下载任务::执行(配置, &传输, &结果, nullptr));
    EXPECT_EQ(std::tie(结果.objectPath, 结果.fromCache, 结果.downloadedSize, 结果.retryCount),
              std::make_tuple(L"sentinel", true, 77u, 88u));
  }
  EXPECT_TRUE(传输.请求.empty());
  EXPECT_FALSE(fs::exists(缓存()));
}

// A checkpoint is trusted only when it describes exactly what .part holds; a dropped one
// takes its backup with it, a kept one becomes the backup. The bytes a resumed run keeps
// must be durable before a checkpoint claims them: when .part cannot be flushed the run
// keeps the checkpoint but starts over instead of resuming.
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
    const char* 故障 = "";  // the first call of this name fails
  } 用例[] = {
      {"matching", [] {}, 5000},
      {"one byte off", [&] { 改写断点("downloaded", 4999); }, 0},
      {"no checkpoint", [&] { fs::remove(文件(".part.json")); }, 0},
      {"other hash", [&] { 改写断点("hash", "00"); }, 0},
      {"other size", [&] { 改写断点("targetSize", 12294); }, 0},
      {"negative counter", [&] { 改写断点("retryCount", -7); }, 0},
      {"not JSON", [&] { 写测试文件(文件(".part.json"), "{"); }, 0},
      {"part cannot be flushed", [] {}, 0, "刷新"},
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
    std::optional<文件故障注入> 注入;
    if (*项.故障 != '\0') 注入.emplace(项.故障);
    const 运行结果 结果 = 运行(传输);
    EXPECT_TRUE(!注入 || 注入->已注入());
    ASSERT_TRUE(结果.成功);
    ASSERT_EQ(传输.请求.size(), 1u);
    EXPECT_EQ(传输.请求[0].rangeStart, 项.起点);
    const bool 保留断点 = 项.起点 != 0 || 注入;
    EXPECT_EQ(结果.结果.retryCount, 保留断点 ? 8u : 1u);
    EXPECT_EQ(备份.find("\"downloaded\":5000,") != std::string::npos, 保留断点) << 备份;
    EXPECT_EQ(备份.empty(), !保留断点);
    EXPECT_EQ(读测试文件(文件(".object")), 对象_);
  }
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
    EXPECT_EQ(调用时断点[i].字段(), std::make_tuple(期望请求[i].second, "", 5 + i, (2 + i) % 3));
  }
  EXPECT_EQ(读断点().字段(), std::make_tuple(6000u, "线路一无法连接。", 8u, 2u));
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

// What a download leaves behind when the server misbehaves, and that the next run resumes
// from there to a verified object.
TEST_F(下载任务测试, 服务端故障表每项保留正确的断点并可续传完成) {
  constexpr std::uint64_t 已有 = 4000;  // bytes an earlier, interrupted run left in .part
  const char* 响应无效 = "下载响应状态或 Content-Range 无效。";
  const struct {
    const char* 名称;
    std::function<void(传输脚本&, std::uint64_t 大小)> 行为;
    const char* 最近错误;
    std::uint64_t 之后部分;  // .part size (and checkpoint downloaded) afterwards
  } 故障表[] = {
      {"body cut off, then the connection resets", [](auto& 步, auto) { 步.结束于 = 8000; }, "连接被重置。", 8000},
      {"200 to a range request, cut off", [](auto& 步, auto) { 步.忽略范围 = true; 步.结束于 = 6000; },
       "连接被重置。", 6000},
      {"206 starting elsewhere", [](auto& 步, auto) { 步.范围起点 = 3000; }, 响应无效, 已有},
      {"206 with a wrong total", [](auto& 步, auto 大小) { 步.范围总长 = 大小 + 1; }, 响应无效, 已有},
      {"206 with an unsatisfied range (*)", [](auto& 步, auto) { 步.无效范围 = true; }, 响应无效, 已有},
      {"206 Content-Length beyond the rest", [](auto& 步, auto 大小) { 步.声明长度 = 大小 - 已有 + 1; },
       "断点响应 Content-Length 超出剩余大小。", 已有},
      {"200 Content-Length beyond the object", [](auto& 步, auto 大小) { 步.忽略范围 = true; 步.声明长度 = 大小 + 1; },
       "完整响应 Content-Length 与目标大小不符。", 已有},
      {"body longer than the object", [](auto& 步, auto) { 步.无声明长度 = true; 步.附加正文 = std::string(100, 'x'); },
       "下载正文超过声明大小。", 12000},
      {"redirect to a refused address", [](auto& 步, auto) { 步.最终地址 = L"http://mirror.example/o"; },
       "下载最终地址不在允许地址内。", 已有},
      {"503", [](auto& 步, auto) { 步.状态码 = 503; }, 响应无效, 已有},
      {"wrong hash for a complete body", [](auto& 步, auto) { 步.损坏 = true; }, "下载对象 SHA-256 不匹配。", 0},
      {"connection refused", [](auto& 步, auto) { 步.连接失败 = L"无法连接到下载服务器。"; }, "无法连接到下载服务器。", 已有},
  };
  for (const auto& 用例 : 故障表) {
    SCOPED_TRACE(用例.名称);
    fs::remove_all(缓存());
    写部分(已有);
    写断点(已有, 1, 0, "earlier");
    std::vector<传输脚本> 脚本(1);
    用例.行为(脚本[0], 对象_.size());
    脚本下载传输 传输(对象_, 脚本);
    const 运行结果 结果 = 运行(传输);
    EXPECT_FALSE(结果.成功);
    EXPECT_EQ(结果.消息, L"所有下载线路均失败，断点已保留。");
    ASSERT_EQ(传输.请求.size(), 1u);
    EXPECT_EQ(传输.请求[0].rangeStart, 已有);
    EXPECT_EQ(结果.结果.retryCount, 2u);
    EXPECT_EQ(结果.结果.downloadedSize, 0u);
    EXPECT_FALSE(fs::exists(文件(".object")));

    EXPECT_EQ(部分(), 对象_.substr(0, static_cast<std::size_t>(用例.之后部分)));
    EXPECT_EQ(读断点().字段(), std::make_tuple(用例.之后部分, 用例.最近错误, 2u, 0u));

    续传完成(用例.之后部分);  // the next run, with a well-behaved server, resumes there
  }
}

// Every file call of a whole download, failed in turn: the run ends with a failure message
// or the verified object, never with anything else under the object's name; the checkpoint
// never claims bytes .part does not hold, and the next run without faults completes.
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
    // A short write differs from a failed call only for writes, which the fresh start has all of.
    for (auto 类型 : {故障类型::调用失败, 故障类型::短写}) {
      if (状态 != 0 && 类型 == 故障类型::短写) continue;
      // Call n fails, for each n until a run makes fewer calls than that.
      for (std::uint64_t n = 1;; ++n) {
        fs::remove_all(缓存());
        起始状态[状态]();
        脚本下载传输 传输(对象_, 两块);
        运行结果 结果;
        std::string 说明;
        {
          文件故障注入 注入(n, 类型);
          结果 = 运行(传输);
          if (!注入.已注入()) {
            EXPECT_TRUE(结果.成功 && n > 10) << n;
            break;
          }
          说明 = "start " + std::to_string(状态) + " n=" + std::to_string(n) + " " + 注入.故障调用();
          ++注入次数;
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


// A link to a good object elsewhere is no object either; its target stays as it was. What
// is set aside gets a name of its own, with this process's id and a counter.
TEST(缓存查找, 内容错误大小错误是目录或链接的条目被隔离) {
  测试临时目录 目录;
  const std::string 哈希 = 测试SHA256("hello");
  const fs::path 对象 = 目录.子路径(哈希 + ".object");
  const std::regex 隔离名(哈希 + "\\.object\\.corrupt-[1-9][0-9]*-(0|[1-9][0-9]*)");
  const struct {
    const char* 名称;
    std::function<bool()> 布置;  // false: not possible on this system
    std::string 旧内容;          // empty for the directory
  } 用例表[] = {
      {"same size, wrong content", [&] { return 写测试文件(对象, "jello"), true; }, "jello"},
      {"one byte short", [&] { return 写测试文件(对象, "hell"), true; }, "hell"},
      {"directory", [&] { return fs::create_directories(对象 / "inner"); }, ""},
      {"link", [&] {
         写测试文件(目录.子路径("elsewhere"), "hello");
         std::error_code 错误;
         fs::create_symlink(目录.子路径("elsewhere"), 对象, 错误);
         return !错误;
       }, "hello"},
  };
  for (const auto& 项 : 用例表) {
    SCOPED_TRACE(项.名称);
    fs::remove_all(目录.路径());
    fs::create_directories(目录.路径());
    if (!项.布置()) continue;
    std::wstring 路径 = L"stale", 消息;
    EXPECT_FALSE(缓存查找(目录.宽路径(), 哈希, 5, &路径, &消息));
    EXPECT_EQ(消息, L"缓存对象校验失败，已隔离。");
    EXPECT_TRUE(路径.empty());
    EXPECT_FALSE(fs::exists(对象));
    std::vector<std::string> 隔离;
    for (const auto& 名称 : 目录内容(目录.路径())) {
      if (std::regex_match(名称, 隔离名)) 隔离.push_back(名称);
    }
    ASSERT_EQ(隔离.size(), 1u);
    if (项.旧内容.empty()) {
      EXPECT_TRUE(fs::is_directory(目录.子路径(隔离[0]) / "inner"));
    } else {
      EXPECT_EQ(读测试文件(目录.子路径(隔离[0])), 项.旧内容);
    }
  }
}

}  // namespace
}  // namespace tallybell
