#include "download/object_cache.h"

#include <gtest/gtest.h>

#include <regex>

#include "support/fault_injection.h"
#include "support/file_helpers.h"
#include "support/release_builder.h"
#include "support/temp_dir.h"

namespace tallybell {
namespace {

namespace fs = std::filesystem;
using namespace 测试;

class 缓存查找测试 : public ::testing::Test {
 protected:
  fs::path 对象文件() const { return 目录_.子路径(哈希_ + ".object"); }
  bool 查找(std::wstring* 路径, std::wstring* 消息, std::uint64_t 大小 = 5) {
    return 缓存查找(目录_.宽路径(), 哈希_, 大小, 路径, 消息);
  }
  // The names in the directory that are the object set aside by this process.
  std::vector<std::string> 隔离项() const {
    const std::regex 形式(哈希_ + "\\.object\\.corrupt-[1-9][0-9]*-(0|[1-9][0-9]*)");
    std::vector<std::string> 结果;
    for (const auto& 名称 : 目录内容(目录_.路径())) {
      if (std::regex_match(名称, 形式)) 结果.push_back(名称);
    }
    return 结果;
  }

  测试临时目录 目录_;
  const std::string 内容_ = "hello";
  const std::string 哈希_ = 测试SHA256("hello");
};

// A link to a good object elsewhere is no object either; its target stays as it was.
TEST_F(缓存查找测试, 内容错误大小错误是目录或链接的条目被隔离) {
  const struct {
    const char* 名称;
    std::function<bool()> 布置;  // false: not possible on this system
    std::string 旧内容;          // empty for the directory
  } 用例表[] = {
      {"same size, wrong content", [&] { return 写测试文件(对象文件(), "jello"), true; }, "jello"},
      {"one byte short", [&] { return 写测试文件(对象文件(), "hell"), true; }, "hell"},
      {"directory", [&] { return fs::create_directories(对象文件() / "inner"); }, ""},
      {"link", [&] {
         写测试文件(目录_.子路径("elsewhere"), 内容_);
         std::error_code 错误;
         fs::create_symlink(目录_.子路径("elsewhere"), 对象文件(), 错误);
         return !错误;
       }, 内容_},
  };
  for (const auto& 项 : 用例表) {
    SCOPED_TRACE(项.名称);
    fs::remove_all(目录_.路径());
    fs::create_directories(目录_.路径());
    if (!项.布置()) continue;
    std::wstring 路径 = L"stale", 消息;
    EXPECT_FALSE(查找(&路径, &消息));
    EXPECT_EQ(消息, L"缓存对象校验失败，已隔离。");
    EXPECT_TRUE(路径.empty());
    EXPECT_FALSE(fs::exists(对象文件()));
    const auto 隔离 = 隔离项();
    ASSERT_EQ(隔离.size(), 1u);
    if (项.旧内容.empty()) {
      EXPECT_TRUE(fs::is_directory(目录_.子路径(隔离[0]) / "inner"));
    } else {
      EXPECT_EQ(读测试文件(目录_.子路径(隔离[0])), 项.旧内容);
    }
  }
}

}  // namespace
}  // namespace tallybell
