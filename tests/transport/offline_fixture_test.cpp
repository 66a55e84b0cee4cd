#include "transport/offline_fixture.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "documents/sha256.h"
#include "storage/files.h"
#include "support/fault_injection.h"
#include "support/file_helpers.h"
#include "support/temp_dir.h"

namespace tallybell {
namespace {

namespace fs = std::filesystem;

const std::wstring 解析地址 = L"https://updates.example/update/v1/resolve";
const std::wstring 结果地址 = L"https://updates.example/update/v1/results";
const std::string 哈希 = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";
const std::wstring 宽哈希(哈希.begin(), 哈希.end());

// The fixture URL fuzz target checks the general contracts (untouched output when nothing
// is found, a safe identifier, a well-formed hash); these are the exact boundaries.
TEST(离线夹具地址, 清单地址的发布标识与下载地址的对象哈希) {
  const std::wstring 前缀 = L"https://h/releases/";
  const auto 清单 = 取清单地址发布标识;
  const auto 对象 = 取下载地址对象哈希;
  const struct {
    bool (*取)(const std::wstring&, std::wstring*);
    std::wstring 地址;
    std::wstring 结果;  // empty: none
  } 用例表[] = {
      {清单, L"http://c/x/releases/A-z_0.9/manifest.json", L"A-z_0.9"},
      {清单, 前缀 + std::wstring(64, L'r') + L"/manifest.json", std::wstring(64, L'r')},
      {清单, 前缀 + std::wstring(65, L'r') + L"/manifest.json", L""},
      {清单, 前缀 + L"r1/manifest.json?x=1", L""},
      {清单, 前缀 + L"r1/Manifest.json", L""},
      {清单, 前缀 + L"r 1/manifest.json", L""},
      {清单, 前缀 + L"../manifest.json", L""},
      {对象, L"https://h/" + 宽哈希, 宽哈希},
      {对象, L"https://h/o/" + 宽哈希 + L".object?sig=a/b#c", 宽哈希},
      {对象, L"x/" + 宽哈希 + L"#/other", 宽哈希},
      {对象, L"https://h/" + 宽哈希.substr(0, 10) + L"A" + 宽哈希.substr(11) + L".object", L""},
      {对象, L"https://h/" + 宽哈希.substr(1) + L".object", L""},
      {对象, 宽哈希, L""},
  };
  for (const auto& 项 : 用例表) {
    SCOPED_TRACE(testing::PrintToString(项.地址));
    std::wstring 结果 = L"sentinel";
    EXPECT_EQ(项.取(项.地址, &结果), !项.结果.empty());
    EXPECT_EQ(结果, 项.结果.empty() ? L"sentinel" : 项.结果);
  }
}

class 离线夹具 : public ::testing::Test {
 protected:
  fs::path 文件(const std::string& 名称) const { return 目录_.子路径(名称); }

  bool 发送(const std::wstring& 方法, const std::wstring& 地址, const std::string& 正文 = {},
            std::uint64_t 上限 = 1048576) {
    JsonHttp请求 请求;
    请求.method = 方法;
    请求.url = 地址;
    请求.body = 正文;
    请求.maxResponseBytes = 上限;
    响应_ = JsonHttp响应{7, L"untouched", "untouched"};
    错误_ = L"stale";
    return 传输_.发送(请求, &响应_, &错误_);
  }
  // A failure leaves the response as it was.
  void 预期失败(const std::wstring& 消息) {
    EXPECT_EQ(错误_, 消息);
    EXPECT_EQ(响应_.statusCode, 7u);
    EXPECT_EQ(响应_.body, "untouched");
  }
  // Downloads the object from 起点; counts the heads and collects the body.
  bool 下载(std::uint64_t 起点 = 0) {
    下载请求 请求;
    请求.url = L"https://h/" + 宽哈希 + L".object";
    请求.rangeStart = 起点;
    响应次数_ = 0;
    正文_.clear();
    错误_ = L"stale";
    return 传输_.下载(
        请求, [this](const 下载响应& 收到, std::wstring*) { ++响应次数_, 头_ = 收到; return true; },
        [this](const unsigned char* 数据, std::uint64_t 长度, std::wstring*) {
          正文_.append(reinterpret_cast<const char*>(数据), static_cast<std::size_t>(长度));
          return 长度 != 0;
        },
        &错误_);
  }

  测试::测试临时目录 目录_;
  离线更新夹具传输 传输_{目录_.宽路径()};
  JsonHttp响应 响应_;
  std::wstring 错误_;
  int 响应次数_ = 0;
  下载响应 头_;
  std::string 正文_;
};

TEST_F(离线夹具, 回答大小上限路由与参数) {
  测试::写测试文件(文件("policy.json"), "12345");
  ASSERT_TRUE(发送(L"POST", 解析地址, {}, 5));
  EXPECT_EQ(错误_, L"");
  EXPECT_EQ(响应_.statusCode, 200u);
  EXPECT_EQ(响应_.finalUrl, 解析地址);
  EXPECT_EQ(响应_.body, "12345");
  EXPECT_FALSE(发送(L"POST", 解析地址, {}, 4));
  预期失败(L"离线更新 JSON 夹具超过大小上限。");

  // Above the whole-file read limit a fixture counts as unreadable, so the fallback answers.
  测试::写测试文件(文件("default-policy.json"), "fallback");
  fs::resize_file(文件("policy.json"), 67108865);
  ASSERT_TRUE(发送(L"POST", 解析地址));
  EXPECT_EQ(响应_.body, "fallback");

  for (const auto& [方法, 地址] : {std::pair{L"PUT", 解析地址}, {L"HEAD", 解析地址}, {L"POST", 解析地址 + L"/x"}}) {
    EXPECT_FALSE(发送(方法, 地址));
    预期失败(L"离线更新夹具不支持该 HTTP 路由。");
  }
  // Without a fixture directory there is nothing to answer from.
  JsonHttp请求 请求;
  请求.method = L"POST";
  请求.url = 解析地址;
  请求.maxResponseBytes = 100;
  std::wstring 错误;
  EXPECT_FALSE(离线更新夹具传输().发送(请求, &响应_, &错误));
  EXPECT_EQ(错误, L"离线更新夹具参数无效。");
}

// The recorded report lines must survive a results file that cannot be read whole, and a
// failed attribute query cannot prove the file absent.
TEST_F(离线夹具, 无法整读的结果文件不被替换) {
  const struct {
    const char* 名称;
    std::uint64_t 大小;      // 0: as written
    const char* 故障调用;    // empty: none
    bool 先存在;
  } 用例表[] = {
      {"beyond the read limit", 67108865, "", true},
      {"failed read", 0, "读取", true},
      {"failed query", 0, "查询", false},
  };
  for (const auto& 项 : 用例表) {
    SCOPED_TRACE(项.名称);
    fs::remove(文件("reported-results.ndjson"));
    if (项.先存在) 测试::写测试文件(文件("reported-results.ndjson"), "{\"n\":1}\n");
    if (项.大小 != 0) fs::resize_file(文件("reported-results.ndjson"), 项.大小);
    {
      std::optional<测试::文件故障注入> 注入;
      if (*项.故障调用 != '\0') 注入.emplace(项.故障调用);
      EXPECT_FALSE(发送(L"POST", 结果地址, "{\"n\":2}"));
      EXPECT_TRUE(!注入 || 注入->已注入());
    }
    预期失败(L"无法写入离线结果回报夹具。");
    EXPECT_EQ(fs::exists(文件("reported-results.ndjson")), 项.先存在);
    if (项.大小 != 0) {
      EXPECT_EQ(fs::file_size(文件("reported-results.ndjson")), 项.大小);
    } else if (项.先存在) {
      EXPECT_EQ(测试::读测试文件(文件("reported-results.ndjson")), "{\"n\":1}\n");
    }
    EXPECT_FALSE(fs::exists(文件("reported-results.ndjson.bak")));
  }
}

// The object is found in the fixture's sha256/ folder as well.
TEST_F(离线夹具, 断点续传的范围) {
  std::string 内容(1000, '\0');
  for (std::size_t i = 0; i < 内容.size(); ++i) 内容[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  测试::写测试文件(文件("objects/sha256/" + 哈希 + ".object"), 内容);
  for (const std::uint64_t 起点 : {400u, 1000u, 1001u}) {
    SCOPED_TRACE(起点);
    const bool 成功 = 起点 <= 内容.size();
    EXPECT_EQ(下载(起点), 成功);
    EXPECT_EQ(错误_, 成功 ? L"" : L"离线对象夹具大小或断点无效。");
    EXPECT_EQ(响应次数_, 成功 ? 1 : 0);
    if (!成功) continue;
    EXPECT_EQ(头_.statusCode, 206u);
    EXPECT_TRUE(头_.hasContentLength && 头_.hasContentRange && 头_.acceptsByteRanges);
    EXPECT_EQ(头_.contentLength, 1000 - 起点);
    EXPECT_EQ(头_.rangeStart, 起点);
    EXPECT_EQ(头_.rangeTotal, 1000u);
    EXPECT_TRUE(正文_ == 内容.substr(起点));
  }
}

#ifndef _WIN32
// What whoever can write an offline fixture directory can do to a run that uses it: the
// fixture chooses the release, but links and FIFOs in it neither hang the run nor make it
// read or copy files from outside the fixture. (Linked and FIFO release sources of an
// offline preparation are in the table of platform/posix/security_links_test.cpp.)
//
// A results file replaced by a link would otherwise be read (with this process's rights)
// and rewritten into the fixture together with the new line. Object bytes pass through the
// cache's partial file before their hash is checked, so a linked object is not read at all.
// A FIFO is not a file and is refused at once, also by the whole-file read and the hash of
// the update core's own files.
TEST_F(离线夹具, 链接与命名管道既不被读也不阻塞运行) {
  const std::string 秘密 = "only-this-process-may-read-this";
  测试::测试临时目录 外面;
  测试::写测试文件(外面.子路径("secret"), 秘密);
  for (const bool 管道 : {false, true}) {
    SCOPED_TRACE(管道 ? "FIFO" : "link");
    fs::remove_all(目录_.路径());
    fs::create_directories(文件("objects/sha256"));
    for (const std::string& 名称 : {std::string("reported-results.ndjson"), "objects/" + 哈希 + ".object",
                                    "objects/sha256/" + 哈希 + ".object"}) {
      if (管道) {
        ASSERT_EQ(::mkfifo(文件(名称).c_str(), 0600), 0);
      } else {
        fs::create_symlink(外面.子路径("secret"), 文件(名称));
      }
    }
    EXPECT_FALSE(发送(L"POST", 结果地址, "{\"event\":1}"));
    预期失败(L"无法写入离线结果回报夹具。");
    EXPECT_EQ(fs::symlink_status(文件("reported-results.ndjson")).type(),
              管道 ? fs::file_type::fifo : fs::file_type::symlink);
    EXPECT_FALSE(下载());
    EXPECT_EQ(错误_, L"离线对象夹具不存在。");
    EXPECT_EQ(响应次数_, 0);
    EXPECT_EQ(正文_, "");
    for (const auto& 项 : fs::recursive_directory_iterator(目录_.路径())) {
      if (!项.is_symlink() && 项.is_regular_file()) {
        EXPECT_EQ(测试::读测试文件(项.path()).find(秘密), std::string::npos) << 项.path();
      }
    }
  }
  EXPECT_EQ(测试::读测试文件(外面.子路径("secret")), 秘密);

  // A FIFO policy counts as unreadable, so the fallback answers.
  ASSERT_EQ(::mkfifo(文件("policy.json").c_str(), 0600), 0);
  测试::写测试文件(文件("default-policy.json"), "{\"fallback\":true}");
  EXPECT_TRUE(发送(L"POST", 解析地址));
  EXPECT_EQ(响应_.body, "{\"fallback\":true}");
  std::string 内容;
  EXPECT_FALSE(读取整个文件(目录_.宽路径("policy.json"), &内容));
  unsigned char 摘要[32];
  EXPECT_FALSE(计算文件SHA256(目录_.宽路径("policy.json"), 摘要, &错误_));
  EXPECT_EQ(错误_, L"无法打开待计算 SHA-256 的文件。");

  // A regular results file in its place is used as before.
  fs::remove(文件("reported-results.ndjson"));
  EXPECT_TRUE(发送(L"POST", 结果地址, "{\"event\":1}"));
  EXPECT_EQ(测试::读测试文件(文件("reported-results.ndjson")), "{\"event\":1}\n");
}
#endif

}  // namespace
}  // namespace tallybell
