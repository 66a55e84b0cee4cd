#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "release/directory_tree.h"
#include "release/offline_preparation.h"
#include "release/verification.h"
#include "storage/coordinator_lock.h"
#include "support/file_helpers.h"
#include "support/lock_holder.h"
#include "support/lock_namespace.h"
#include "support/release_builder.h"
#include "support/state_files.h"
#include "support/temp_dir.h"
#include "support/tree_compare.h"

namespace tallybell {
namespace {

namespace fs = std::filesystem;
using 测试::读测试文件;
using 测试::写测试文件;
using namespace 测试;

const 测试::发布内容 默认文件 = {
    {"Tallybell.exe", "exe content"},
    {"bin/app.dll", "library bytes"},
    {"data/empty.txt", ""},
};

class 发布目录校验 : public ::testing::Test {
 protected:
  void SetUp() override {
    哈希_ = 测试::写入发布目录(目录_.子路径("r1"), "r1", 默认文件);
    ASSERT_TRUE(解析发布清单(读测试文件(目录_.子路径("r1/release.manifest.json")), &清单_));
  }

  fs::path 发布路径(const std::string& 名称) const { return 目录_.子路径("r1/" + 名称); }

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
  std::string 大写哈希 = 哈希_;
  for (char& c : 大写哈希) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const struct {
    const char* 名称;
    std::string 内容;
    bool 通过;
  } 用例表[] = {
      {"as written", 测试::生成完成标记文本("r1", 哈希_, 默认文件), true},
      {"extra members", R"({"extra":{"x":[1]},"manifestHash":")" + 哈希_ + R"(","releaseId":"r1","zz":null})", true},
      {"releaseId in other case", R"({"releaseId":"R1","manifestHash":")" + 哈希_ + "\"}", false},
      {"manifestHash in capitals", R"({"releaseId":"r1","manifestHash":")" + 大写哈希 + "\"}", false},
      {"manifestHash missing", R"({"releaseId":"r1"})", false},
      {"repeated member", R"({"releaseId":"r1","releaseId":"r1","manifestHash":")" + 哈希_ + "\"}", false},
  };
  for (const auto& 项 : 用例表) {
    SCOPED_TRACE(项.名称);
    写测试文件(发布路径("complete.json"), 项.内容);
    EXPECT_EQ(完成标记匹配(目录_.宽路径("r1/complete.json"), "r1", 哈希_), 项.通过);
    std::wstring 错误;
    EXPECT_EQ(校验(&错误, 哈希_), 项.通过);
    EXPECT_EQ(错误, 项.通过 ? L"" : L"版本完成标记缺失或损坏。");
  }
}

// A link may point anywhere and its target may change after the check, so a link in
// place of a release file, or of a folder on the way to one, counts as missing.
TEST_F(发布目录校验, 发布文件的失败与链接) {
  写测试文件(目录_.子路径("outside/app.dll"), "library bytes");
  enum 种类 { 文件, 目录占位, 缺失, 文件链接, 目录链接 };
  const struct {
    种类 放置;
    const char* 内容;
    const wchar_t* 消息;
  } 用例[] = {
      {文件, "library bytez", L"发布文件内容已损坏。"}, {文件, "library byte", L"发布文件大小不正确。"},
      {文件, "library bytes!", L"发布文件大小不正确。"}, {目录占位, "", L"发布文件不存在。"},
      {缺失, "", L"发布文件不存在。"}, {文件链接, "", L"发布文件不存在。"}, {目录链接, "", L"发布文件不存在。"},
  };
  for (const auto& 项 : 用例) {
    SCOPED_TRACE(项.放置);
    fs::remove_all(发布路径("bin"));
    std::error_code 失败;
    if (项.放置 == 目录链接) {
      fs::create_directory_symlink(目录_.子路径("outside"), 发布路径("bin"), 失败);
    } else {
      fs::create_directory(发布路径("bin"));
      if (项.放置 == 文件) 写测试文件(发布路径("bin/app.dll"), 项.内容);
      if (项.放置 == 目录占位) fs::create_directory(发布路径("bin/app.dll"));
      if (项.放置 == 文件链接) fs::create_symlink(目录_.子路径("outside/app.dll"), 发布路径("bin/app.dll"), 失败);
    }
    if (失败) continue;  // this system creates no symbolic links
    EXPECT_EQ(校验消息(), 项.消息);
  }
}

class 离线准备 : public ::testing::Test {
 protected:
  // Named locks of this test stay apart from tests running at the same time.
  测试::私有锁命名空间 锁空间_;

  void SetUp() override {
    写目录树(源(), {{"Tallybell.exe", "exe"}, {"complete.json", "{}"}, {"data/a.bin", "a"}});
    本地版本状态 状态;
    状态.generation = 1;
    写状态文件(目录_.子路径("state"), 状态);
    请求_.fixtureDir = 目录_.宽路径("fixture");
    请求_.programRoot = 目录_.宽路径("program");
    请求_.stateRoot = 目录_.宽路径("state");
    请求_.releaseId = L"r1";
  }
  fs::path 源() const { return 目录_.子路径("fixture/releases/r1"); }
  fs::path 目标() const { return 目录_.子路径("program/releases/r1"); }

  测试临时目录 目录_;
  离线准备请求 请求_;
};

TEST_F(离线准备, 来源含链接时为3005且删除树时不跟随链接) {
  fs::create_directory(目录_.子路径("outside"));
  写测试文件(目录_.子路径("outside/secret"), "s");
  std::error_code 错误;
  fs::create_directory_symlink(目录_.子路径("outside"), 源() / "data" / "link", 错误);
  if (错误 || !fs::is_symlink(源() / "data" / "link")) GTEST_SKIP() << "this system creates no symbolic links";
  EXPECT_EQ(准备离线版本(请求_, nullptr), 3005u);
  EXPECT_TRUE(目录内容(目录_.子路径("state/staging")).empty());
  EXPECT_FALSE(fs::exists(目标()));
  // Removing a tree removes a link in it, not what the link points to.
  删除目录树(源().wstring());
  EXPECT_FALSE(fs::exists(源()));
  EXPECT_EQ(读测试文件(目录_.子路径("outside/secret")), "s");
}

TEST_F(离线准备, 另一更新持有协调器锁时等待有界并返回3007) {
  std::uint32_t 代码 = 0;
  {
    持锁线程 另一运行(协调器锁名称);
    ASSERT_TRUE(另一运行.已取得());
    请求_.锁等待毫秒 = 50;
    代码 = 准备离线版本(请求_, nullptr);
  }
  EXPECT_EQ(代码, 3007u);
  EXPECT_FALSE(fs::exists(目标()));
  EXPECT_EQ(读状态文件(目录_.子路径("state/state.txt")).generation, 1u);
}

}  // namespace
}  // namespace tallybell
