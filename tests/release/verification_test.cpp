#include "release/verification.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "platform/file_system.h"
#include "platform/paths.h"
#include "support/file_helpers.h"
#include "support/release_builder.h"
#include "support/temp_dir.h"

namespace tallybell {
namespace {

namespace fs = std::filesystem;
using 测试::读测试文件;
using 测试::写测试文件;

const std::string 空输入摘要 = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

const 测试::发布内容 默认文件 = {
    {"Tallybell.exe", "exe content"},
    {"bin/app.dll", "library bytes"},
    {"data/empty.txt", ""},
};

// Counts how often a file is opened, to show that a check did not read anything.
struct 打开计数 {
  static inline int 次数 = 0;
  static bool 打开(const std::wstring& 路径, platform::打开模式 模式, platform::原生文件* 输出) {
    ++次数;
    return platform::系统文件调用表().打开(路径, 模式, 输出);
  }
};

class 计数打开 {
 public:
  计数打开() {
    打开计数::次数 = 0;
    platform::文件调用().打开 = 打开计数::打开;
  }
  ~计数打开() { platform::文件调用() = platform::系统文件调用表(); }
};

class 发布目录校验 : public ::testing::Test {
 protected:
  void SetUp() override {
    哈希_ = 测试::写入发布目录(目录_.子路径("r1"), "r1", 默认文件);
    std::wstring 错误;
    ASSERT_TRUE(解析发布清单(读测试文件(目录_.子路径("r1/release.manifest.json")), &清单_, &错误))
        << std::string(错误.begin(), 错误.end());
  }

  fs::path 发布路径(const std::string& 名称 = {}) const {
    return 名称.empty() ? 目录_.子路径("r1") : 目录_.子路径("r1/" + 名称);
  }

  // Runs the full check with a stale message, which a success must clear.
  bool 校验(std::wstring* 错误, const std::string& 哈希) const {
    *错误 = L"stale";
    return 校验发布目录(目录_.宽路径("r1"), 清单_, 哈希, 错误);
  }
  std::wstring 校验消息() const {
    std::wstring 错误;
    EXPECT_FALSE(校验(&错误, 哈希_));
    return 错误;
  }

  测试::测试临时目录 目录_;
  发布清单 清单_;
  std::string 哈希_;
};

TEST_F(发布目录校验, 完成标记只看releaseId与manifestHash) {
  struct 用例 {
    const char* 名称;
    std::string 内容;
    bool 通过;
  };
  const std::string 原样 = 测试::生成完成标记文本("r1", 哈希_, 默认文件);
  std::string 大写哈希 = 哈希_;
  for (char& c : 大写哈希) c = (c >= 'a' && c <= 'f') ? static_cast<char>(c - 'a' + 'A') : c;
  const std::vector<用例> 用例表 = {
      {"as written", 原样, true},
      {"extra members", R"({"extra":{"x":[1]},"manifestHash":")" + 哈希_ + R"(","releaseId":"r1","zz":null})", true},
      {"without files", R"({"releaseId":"r1","manifestHash":")" + 哈希_ + "\"}", true},
      {"releaseId in other case", R"({"releaseId":"R1","manifestHash":")" + 哈希_ + "\"}", false},
      {"manifestHash in capitals", R"({"releaseId":"r1","manifestHash":")" + 大写哈希 + "\"}", false},
      {"manifestHash missing", R"({"releaseId":"r1"})", false},
      {"releaseId not a string", R"({"releaseId":1,"manifestHash":")" + 哈希_ + "\"}", false},
      {"repeated member", R"({"releaseId":"r1","releaseId":"r1","manifestHash":")" + 哈希_ + "\"}", false},
      {"root an array", "[\"r1\"]", false},
      {"not JSON", "complete", false},
      {"empty", "", false},
  };
  for (const auto& 项 : 用例表) {
    SCOPED_TRACE(项.名称);
    写测试文件(发布路径("complete.json"), 项.内容);
    EXPECT_EQ(完成标记匹配(目录_.宽路径("r1/complete.json"), "r1", 哈希_), 项.通过);
    std::wstring 错误;
    EXPECT_EQ(校验(&错误, 哈希_), 项.通过);
    EXPECT_EQ(错误, 项.通过 ? L"" : L"版本完成标记缺失或损坏。");
  }
  fs::remove(发布路径("complete.json"));
  EXPECT_FALSE(完成标记匹配(目录_.宽路径("r1/complete.json"), "r1", 哈希_));
  EXPECT_EQ(校验消息(), L"版本完成标记缺失或损坏。");
}

TEST_F(发布目录校验, 发布文件的三种失败) {
  const 发布文件& 条目 = 清单_.files[1];  // bin/app.dll, "library bytes"
  const std::wstring 路径 = 目录_.宽路径("r1/bin/app.dll");
  std::wstring 错误;

  写测试文件(发布路径("bin/app.dll"), "library bytez");
  EXPECT_FALSE(校验发布文件(路径, 条目, &错误));
  EXPECT_EQ(错误, L"发布文件内容已损坏。");
  EXPECT_EQ(校验消息(), L"发布文件内容已损坏。");

  // A wrong size fails before the file is opened at all.
  for (const std::string& 内容 : std::vector<std::string>{"library byte", "library bytes!"}) {
    写测试文件(发布路径("bin/app.dll"), 内容);
    计数打开 计数;
    EXPECT_FALSE(校验发布文件(路径, 条目, &错误));
    EXPECT_EQ(错误, L"发布文件大小不正确。");
    EXPECT_EQ(打开计数::次数, 0);
  }

  fs::remove(发布路径("bin/app.dll"));
  EXPECT_FALSE(校验发布文件(路径, 条目, &错误));
  EXPECT_EQ(错误, L"发布文件不存在。");
  EXPECT_EQ(校验消息(), L"发布文件不存在。");

  fs::create_directory(发布路径("bin/app.dll"));
  EXPECT_FALSE(校验发布文件(路径, 条目, &错误));
  EXPECT_EQ(错误, L"发布文件不存在。");
  EXPECT_EQ(校验消息(), L"发布文件不存在。");
}

TEST_F(发布目录校验, 链接不算发布文件) {
  // A link may point anywhere and its target may change after the check, so a link in
  // place of a release file, or of a folder on the way to one, counts as missing.
  写测试文件(目录_.子路径("outside/app.dll"), "library bytes");
  fs::remove(发布路径("bin/app.dll"));
  std::error_code 失败;
  fs::create_symlink(目录_.子路径("outside/app.dll"), 发布路径("bin/app.dll"), 失败);
  if (失败) GTEST_SKIP() << "symbolic links unavailable: " << 失败.message();
  std::wstring 错误;
  EXPECT_FALSE(校验发布文件(目录_.宽路径("r1/bin/app.dll"), 清单_.files[1], &错误));
  EXPECT_EQ(错误, L"发布文件不存在。");
  EXPECT_EQ(校验消息(), L"发布文件不存在。");

  fs::remove_all(发布路径("bin"));
  fs::create_directory_symlink(目录_.子路径("outside"), 发布路径("bin"), 失败);
  ASSERT_FALSE(失败) << 失败.message();
  EXPECT_EQ(校验消息(), L"发布文件不存在。");
  EXPECT_FALSE(发布目录可用(目录_.宽路径("r1")));
}

}  // namespace
}  // namespace tallybell
