// What whoever can write an offline fixture directory can do to a run that uses it: the
// fixture chooses the release, but links and FIFOs in it neither hang the run nor make it
// read or copy files from outside the fixture. (Linked and FIFO release sources of an
// offline preparation are in the table of security_links_test.cpp; oversized fixture files
// in tests/transport/offline_fixture_test.cpp.)
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "documents/sha256.h"
#include "storage/files.h"
#include "support/file_helpers.h"
#include "support/temp_dir.h"
#include "transport/offline_fixture.h"

namespace tallybell {
namespace {

namespace fs = std::filesystem;
using namespace 测试;

const std::string 秘密 = "only-this-process-may-read-this";
const std::string 哈希 = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";
const char* const 结果文件 = "reported-results.ndjson";
const std::wstring 无法写入结果 = L"无法写入离线结果回报夹具。";

class 夹具安全 : public ::testing::Test {
 protected:
  void SetUp() override { 写测试文件(外面_.子路径("secret"), 秘密); }
  fs::path 夹具(const std::string& 相对路径) const { return 夹具_.子路径(相对路径); }

  // A results POST (路由 "results") or a resolve POST; the response body goes to *正文.
  bool 发送(const std::string& 路由, std::string* 正文 = nullptr) {
    JsonHttp请求 请求;
    请求.method = L"POST";
    请求.url = L"https://updates.example/update/v1/" + std::wstring(路由.begin(), 路由.end());
    请求.body = "{\"event\":1}";
    请求.maxResponseBytes = 8388608;
    JsonHttp响应 响应;
    错误_.clear();
    const bool 成功 = 传输_.发送(请求, &响应, &错误_);
    if (正文 != nullptr) *正文 = 响应.body;
    return 成功;
  }
  // Downloads the object; counts the heads and collects the body.
  bool 下载(std::string* 正文) {
    下载请求 请求;
    请求.url = L"https://content.example/objects/" + std::wstring(哈希.begin(), 哈希.end()) + L".object";
    响应次数_ = 0;
    正文->clear();
    return 传输_.下载(
        请求, [this](const 下载响应&, std::wstring*) { return ++响应次数_ > 0; },
        [正文](const unsigned char* 数据, std::uint64_t 长度, std::wstring*) {
          正文->append(reinterpret_cast<const char*>(数据), static_cast<std::size_t>(长度));
          return true;
        },
        &错误_);
  }

  测试临时目录 外面_;
  测试临时目录 夹具_;
  离线更新夹具传输 传输_{夹具_.宽路径()};
  std::wstring 错误_;
  int 响应次数_ = 0;
};

// A results file replaced by a link would otherwise be read (with this process's rights)
// and rewritten into the fixture together with the new line. Object bytes pass through the
// cache's partial file before their hash is checked, so a linked object is not read at all.
TEST_F(夹具安全, 结果文件与对象文件是链接时不读也不复制链接目标) {
  fs::create_symlink(外面_.子路径("secret"), 夹具(结果文件));
  EXPECT_FALSE(发送("results"));
  EXPECT_EQ(错误_, 无法写入结果);
  EXPECT_TRUE(fs::is_symlink(夹具(结果文件)));
  EXPECT_EQ(读测试文件(外面_.子路径("secret")), 秘密);
  for (const std::string 位置 : {"objects/", "objects/sha256/"}) {
    fs::create_directories(夹具(位置));
    fs::create_symlink(外面_.子路径("secret"), 夹具(位置 + 哈希 + ".object"));
  }
  std::string 正文;
  EXPECT_FALSE(下载(&正文));
  EXPECT_EQ(错误_, L"离线对象夹具不存在。");
  EXPECT_EQ(响应次数_, 0);
  EXPECT_EQ(正文, "");
  for (const auto& 项 : fs::recursive_directory_iterator(夹具_.路径())) {
    if (!项.is_symlink() && 项.is_regular_file()) {
      EXPECT_EQ(读测试文件(项.path()).find(秘密), std::string::npos) << 项.path();
    }
  }

  // Regular files in their places are used as before.
  fs::remove(夹具(结果文件));
  EXPECT_TRUE(发送("results"));
  EXPECT_EQ(读测试文件(夹具(结果文件)), "{\"event\":1}\n");
  fs::remove(夹具("objects/sha256/" + 哈希 + ".object"));
  写测试文件(夹具("objects/sha256/" + 哈希 + ".object"), "object");
  EXPECT_TRUE(下载(&正文));
  EXPECT_EQ(正文, "object");
}

// A FIFO never blocks the run: it is not a file and is refused at once, by the fixture and
// by the whole-file read and hash of the update core's own files.
TEST_F(夹具安全, 命名管道当作无法读取) {
  ASSERT_EQ(::mkfifo(夹具("policy.json").c_str(), 0600), 0);
  写测试文件(夹具("default-policy.json"), "{\"fallback\":true}");
  std::string 正文;
  EXPECT_TRUE(发送("resolve", &正文));
  EXPECT_EQ(正文, "{\"fallback\":true}");

  fs::create_directories(夹具("objects"));
  ASSERT_EQ(::mkfifo(夹具("objects/" + 哈希 + ".object").c_str(), 0600), 0);
  EXPECT_FALSE(下载(&正文));
  EXPECT_EQ(错误_, L"离线对象夹具不存在。");
  EXPECT_EQ(响应次数_, 0);

  ASSERT_EQ(::mkfifo(夹具(结果文件).c_str(), 0600), 0);
  EXPECT_FALSE(发送("results"));
  EXPECT_EQ(错误_, 无法写入结果);

  EXPECT_FALSE(读取整个文件(夹具_.宽路径("policy.json"), &正文));
  unsigned char 摘要[32];
  EXPECT_FALSE(计算文件SHA256(夹具_.宽路径("policy.json"), 摘要, &错误_));
  EXPECT_EQ(错误_, L"无法打开待计算 SHA-256 的文件。");
}

}  // namespace
}  // namespace tallybell
