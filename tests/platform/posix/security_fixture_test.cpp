// What whoever can write an offline fixture directory can do to a run that uses it: the
// fixture chooses the release, but links, FIFOs and oversized files in it neither hang the
// run nor make it read or copy files from outside the fixture.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <string>

#include "release/offline_preparation.h"
#include "support/file_helpers.h"
#include "support/lock_namespace.h"
#include "support/state_files.h"
#include "support/temp_dir.h"
#include "transport/offline_fixture.h"

namespace tallybell {
namespace {

namespace fs = std::filesystem;
using namespace 测试;

const std::string 秘密 = "only-this-process-may-read-this";
const std::string 哈希 = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";
const std::wstring 对象地址 = L"https://content.example/objects/" + std::wstring(哈希.begin(), 哈希.end()) + L".object";

class 夹具安全 : public ::testing::Test {
 protected:
  void SetUp() override { 写测试文件(外面_.子路径("secret"), 秘密); }
  fs::path 夹具(const std::string& 相对路径) const { return 夹具_.子路径(相对路径); }

  bool 回报(std::wstring* 错误) {
    JsonHttp请求 请求;
    请求.method = L"POST";
    请求.url = L"https://updates.example/update/v1/results";
    请求.body = "{\"event\":1}";
    请求.maxResponseBytes = 1024;
    JsonHttp响应 响应;
    return 传输_.发送(请求, &响应, 错误);
  }
  bool 解析(std::string* 正文, std::wstring* 错误) {
    JsonHttp请求 请求;
    请求.method = L"POST";
    请求.url = L"https://updates.example/update/v1/resolve";
    请求.maxResponseBytes = 8388608;
    JsonHttp响应 响应;
    const bool 成功 = 传输_.发送(请求, &响应, 错误);
    *正文 = 响应.body;
    return 成功;
  }
  // Downloads the object; counts the heads and collects the body.
  bool 下载(int* 响应次数, std::string* 正文, std::wstring* 错误) {
    下载请求 请求;
    请求.url = 对象地址;
    return 传输_.下载(
        请求,
        [响应次数](const 下载响应&, std::wstring*) {
          ++*响应次数;
          return true;
        },
        [正文](const unsigned char* 数据, std::uint64_t 长度, std::wstring*) {
          正文->append(reinterpret_cast<const char*>(数据), static_cast<std::size_t>(长度));
          return true;
        },
        错误);
  }

  测试临时目录 外面_;
  测试临时目录 夹具_;
  离线更新夹具传输 传输_{夹具_.宽路径()};
};

// A results file replaced by a link would otherwise be read (with this process's rights)
// and rewritten into the fixture together with the new line.
TEST_F(夹具安全, 结果文件是链接时拒绝回报且不复制链接目标) {
  fs::create_symlink(外面_.子路径("secret"), 夹具("reported-results.ndjson"));
  std::wstring 错误;
  EXPECT_FALSE(回报(&错误));
  EXPECT_EQ(错误, L"无法写入离线结果回报夹具。");
  EXPECT_TRUE(fs::is_symlink(夹具("reported-results.ndjson")));
  EXPECT_EQ(读测试文件(外面_.子路径("secret")), 秘密);
  for (const auto& 项 : fs::directory_iterator(夹具_.路径())) {
    if (!项.is_symlink()) {
      EXPECT_EQ(读测试文件(项.path()).find(秘密), std::string::npos) << 项.path();
    }
  }

  // A regular file in its place is appended to as before.
  fs::remove(夹具("reported-results.ndjson"));
  EXPECT_TRUE(回报(&错误));
  EXPECT_EQ(读测试文件(夹具("reported-results.ndjson")), "{\"event\":1}\n");
}

// Object bytes pass through the cache's partial file before their hash is checked, so a
// linked object must not be read at all.
TEST_F(夹具安全, 对象文件是链接时当作不存在) {
  for (const std::string 位置 : {"objects/", "objects/sha256/"}) {
    fs::create_directories(夹具(位置));
    fs::create_symlink(外面_.子路径("secret"), 夹具(位置 + 哈希 + ".object"));
  }
  int 响应次数 = 0;
  std::string 正文;
  std::wstring 错误;
  EXPECT_FALSE(下载(&响应次数, &正文, &错误));
  EXPECT_EQ(错误, L"离线对象夹具不存在。");
  EXPECT_EQ(响应次数, 0);
  EXPECT_EQ(正文, "");

  // The real file at the fallback place is still served.
  fs::remove(夹具("objects/sha256/" + 哈希 + ".object"));
  写测试文件(夹具("objects/sha256/" + 哈希 + ".object"), "object");
  EXPECT_TRUE(下载(&响应次数, &正文, &错误));
  EXPECT_EQ(正文, "object");
}

// A FIFO never blocks the run: it is not a file and is refused at once.
TEST_F(夹具安全, 命名管道当作无法读取) {
  ASSERT_EQ(::mkfifo(夹具("policy.json").c_str(), 0600), 0);
  写测试文件(夹具("default-policy.json"), "{\"fallback\":true}");
  std::string 正文;
  std::wstring 错误;
  EXPECT_TRUE(解析(&正文, &错误));
  EXPECT_EQ(正文, "{\"fallback\":true}");

  fs::create_directories(夹具("objects"));
  ASSERT_EQ(::mkfifo(夹具("objects/" + 哈希 + ".object").c_str(), 0600), 0);
  int 响应次数 = 0;
  EXPECT_FALSE(下载(&响应次数, &正文, &错误));
  EXPECT_EQ(错误, L"离线对象夹具不存在。");
  EXPECT_EQ(响应次数, 0);

  ASSERT_EQ(::mkfifo(夹具("reported-results.ndjson").c_str(), 0600), 0);
  EXPECT_FALSE(回报(&错误));
  EXPECT_EQ(错误, L"无法写入离线结果回报夹具。");
}

// An offline preparation of release r1 from 目录/fixture, with a state root of its own.
离线准备请求 准备r1(const 测试临时目录& 目录) {
  本地版本状态 状态;
  状态.generation = 1;
  写状态文件(目录.子路径("state"), 状态);
  离线准备请求 请求;
  请求.fixtureDir = 目录.宽路径("fixture");
  请求.programRoot = 目录.宽路径("program");
  请求.stateRoot = 目录.宽路径("state");
  请求.releaseId = L"r1";
  return 请求;
}

// A FIFO inside a fixture release makes offline preparation fail with the staging message
// instead of hanging in the copy while it holds the coordinator lock.
TEST(夹具发布安全, 来源中的命名管道使离线准备以3005结束而不阻塞) {
  私有锁命名空间 锁空间;
  测试临时目录 目录;
  const fs::path 来源 = 目录.子路径("fixture/releases/r1");
  写测试文件(来源 / "Tallybell.exe", "exe");
  写测试文件(来源 / "complete.json", "{}");
  ASSERT_EQ(::mkfifo((来源 / "pipe").c_str(), 0600), 0);
  const 离线准备请求 请求 = 准备r1(目录);
  std::wstring 消息;
  auto 完成 = std::async(std::launch::async, [&] { return 准备离线版本(请求, &消息); });
  if (完成.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
    // Let a copy stuck on the FIFO go on, so that the test ends and reports the failure.
    const int 写端 = ::open((来源 / "pipe").c_str(), O_WRONLY | O_NONBLOCK);
    if (写端 >= 0) ::close(写端);
    ADD_FAILURE() << "offline preparation blocked on a FIFO in the fixture";
  }
  EXPECT_EQ(完成.get(), 3005u);
  EXPECT_EQ(消息, L"复制离线版本到 staging 失败。");
  EXPECT_FALSE(fs::exists(目录.子路径("program/releases/r1")));
  EXPECT_TRUE(!fs::exists(目录.子路径("state/staging")) || fs::is_empty(目录.子路径("state/staging")));
}

// The release directory itself may not be a link to somewhere outside the fixture.
TEST(夹具发布安全, 来源目录是链接时为3002且什么也不复制) {
  私有锁命名空间 锁空间;
  测试临时目录 目录;
  写测试文件(目录.子路径("elsewhere/Tallybell.exe"), "exe");
  写测试文件(目录.子路径("elsewhere/complete.json"), "{}");
  fs::create_directories(目录.子路径("fixture/releases"));
  fs::create_directory_symlink(目录.子路径("elsewhere"), 目录.子路径("fixture/releases/r1"));
  const 离线准备请求 请求 = 准备r1(目录);
  std::wstring 消息;
  EXPECT_EQ(准备离线版本(请求, &消息), 3002u);
  EXPECT_FALSE(fs::exists(目录.子路径("program")));
  EXPECT_FALSE(fs::exists(目录.子路径("state/staging")));
}

// A fixture file above the 64 MiB read limit is not read into memory: the resolve route
// falls back as for a missing file, and a results file that large is left alone.
TEST_F(夹具安全, 超大文件不被整读) {
  for (const std::string 名称 : {"policy.json", "reported-results.ndjson"}) {
    写测试文件(夹具(名称), "");
    fs::resize_file(夹具(名称), 67108865);  // sparse: no disk space needed
  }
  写测试文件(夹具("default-policy.json"), "{}");
  std::string 正文;
  std::wstring 错误;
  EXPECT_TRUE(解析(&正文, &错误));
  EXPECT_EQ(正文, "{}");
  EXPECT_FALSE(回报(&错误));
  EXPECT_EQ(fs::file_size(夹具("reported-results.ndjson")), 67108865u);
}

}  // namespace
}  // namespace tallybell
