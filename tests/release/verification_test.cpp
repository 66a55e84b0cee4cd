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

TEST_F(发布目录校验, 完整目录通过且不在清单中的条目不影响) {
  写测试文件(发布路径("extra.txt"), "not listed");
  写测试文件(发布路径("more/nested.bin"), "also not listed");
  std::wstring 错误;
  EXPECT_TRUE(校验(&错误, 哈希_));
  EXPECT_EQ(错误, L"");
  EXPECT_TRUE(校验发布目录(目录_.宽路径("r1"), 清单_, 哈希_));
  EXPECT_TRUE(发布目录可用(目录_.宽路径("r1")));
}

TEST_F(发布目录校验, 空文件以空输入摘要通过) {
  const 发布文件 条目{"data/empty.txt", 空输入摘要, 0, {"https://a.example/"}};
  std::wstring 错误 = L"stale";
  EXPECT_TRUE(校验发布文件(目录_.宽路径("r1/data/empty.txt"), 条目, &错误));
  EXPECT_EQ(错误, L"");
}

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

TEST_F(发布目录校验, 第一个坏文件决定消息) {
  写测试文件(发布路径("Tallybell.exe"), "exe contenT");
  fs::remove(发布路径("bin/app.dll"));
  EXPECT_EQ(校验消息(), L"发布文件内容已损坏。");

  写测试文件(发布路径("Tallybell.exe"), "exe");
  EXPECT_EQ(校验消息(), L"发布文件大小不正确。");

  写测试文件(发布路径("Tallybell.exe"), "exe content");
  写测试文件(发布路径("data/empty.txt"), "x");
  EXPECT_EQ(校验消息(), L"发布文件不存在。");
  // Checking only reads: nothing was repaired or removed.
  EXPECT_EQ(测试::目录内容(发布路径()),
            (std::vector<std::string>{"Tallybell.exe", "bin", "complete.json", "data",
                                      "release.manifest.json"}));
  EXPECT_EQ(读测试文件(发布路径("data/empty.txt")), "x");
}

TEST_F(发布目录校验, 清单哈希先于完成标记先于文件) {
  fs::remove(发布路径("complete.json"));
  fs::remove(发布路径("Tallybell.exe"));
  std::wstring 错误;
  EXPECT_FALSE(校验(&错误, "not a hash"));
  EXPECT_EQ(错误, L"发布清单哈希无效。");
  EXPECT_FALSE(校验(&错误, 测试::测试SHA256("other")));
  EXPECT_EQ(错误, L"发布清单内容已损坏。");
  EXPECT_EQ(校验消息(), L"版本完成标记缺失或损坏。");
}

TEST_F(发布目录校验, 缺少清单文件时失败且不改消息) {
  fs::remove(发布路径("release.manifest.json"));
  for (const std::string& 哈希 : std::vector<std::string>{std::string("not a hash"), 哈希_}) {
    std::wstring 错误;
    EXPECT_FALSE(校验(&错误, 哈希));
    EXPECT_EQ(错误, L"stale");
  }
  EXPECT_FALSE(发布目录可用(目录_.宽路径("r1")));
}

TEST_F(发布目录校验, 无法转换的路径失败且不改消息) {
  发布清单 清单 = 清单_;
  清单.files[0].path = "bad\xff";
  std::wstring 错误 = L"stale";
  EXPECT_FALSE(校验发布目录(目录_.宽路径("r1"), 清单, 哈希_, &错误));
  EXPECT_EQ(错误, L"stale");
}

TEST_F(发布目录校验, 发布目录可用只信自己的清单) {
  EXPECT_TRUE(发布目录可用(目录_.宽路径("r1")));
  // An edited manifest no longer has the hash the marker names.
  std::string 文本 = 读测试文件(发布路径("release.manifest.json"));
  写测试文件(发布路径("release.manifest.json"), 文本 + " ");
  EXPECT_FALSE(发布目录可用(目录_.宽路径("r1")));
  写测试文件(发布路径("release.manifest.json"), 文本);
  fs::remove(发布路径("complete.json"));
  EXPECT_FALSE(发布目录可用(目录_.宽路径("r1")));
}

TEST(发布目录可用性, 自身清单无效时不可用) {
  测试::测试临时目录 目录;
  // The marker names this manifest, but the manifest itself is not valid.
  const std::string 无效清单 = R"({"formatVersion":2,"releaseId":"r2","files":[]})";
  const std::string 哈希 = 测试::写入发布目录(目录.子路径("r2"), 无效清单, "r2", {{"a.txt", "a"}});
  发布清单 记录;
  记录.formatVersion = 1;
  记录.releaseId = "r2";
  EXPECT_TRUE(校验发布目录(目录.宽路径("r2"), 记录, 哈希));
  EXPECT_FALSE(发布目录可用(目录.宽路径("r2")));
}

TEST(发布清单哈希, 格式与内容) {
  const std::string 文本 = R"({"formatVersion":1})";
  const std::string 哈希 = 测试::测试SHA256(文本);
  std::wstring 错误 = L"stale";
  EXPECT_TRUE(校验发布清单哈希(文本, 哈希, &错误));
  EXPECT_EQ(错误, L"");
  EXPECT_TRUE(校验发布清单哈希("", 空输入摘要, &错误));

  std::string 大写 = 哈希;
  for (char& c : 大写) c = (c >= 'a' && c <= 'f') ? static_cast<char>(c - 'a' + 'A') : c;
  std::string 改一位 = 哈希;
  改一位[10] = 改一位[10] == '0' ? '1' : '0';
  const struct {
    std::string 哈希;
    std::wstring 消息;
  } 用例表[] = {
      {大写, L"发布清单哈希无效。"},
      {哈希.substr(1), L"发布清单哈希无效。"},
      {哈希 + "0", L"发布清单哈希无效。"},
      {"", L"发布清单哈希无效。"},
      {改一位, L"发布清单内容已损坏。"},
  };
  for (const auto& 用例 : 用例表) {
    EXPECT_FALSE(校验发布清单哈希(文本, 用例.哈希, &错误)) << 用例.哈希;
    EXPECT_EQ(错误, 用例.消息) << 用例.哈希;
  }
  EXPECT_FALSE(校验发布清单哈希(文本, 改一位));
}

TEST(发布文件路径转换, 分隔符与严格UTF8) {
  const std::wstring 分隔符(1, platform::路径分隔符);
  EXPECT_EQ(转换发布文件路径("bin/app.dll"), L"bin" + 分隔符 + L"app.dll");
  EXPECT_EQ(转换发布文件路径("a/b/c"), L"a" + 分隔符 + L"b" + 分隔符 + L"c");
  EXPECT_EQ(转换发布文件路径("\xe5\x90\x8d/x"), L"\u540d" + 分隔符 + L"x");
  for (const std::string& 坏路径 : std::vector<std::string>{std::string(""), std::string("bad\xff"),
                                   std::string("\xc0\xaf"), std::string("\xed\xa0\x80")}) {
    EXPECT_EQ(转换发布文件路径(坏路径), L"");
  }
}

}  // namespace
}  // namespace tallybell
