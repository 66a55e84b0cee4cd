// Releases on real directories: assembling one from installed copies, the cache and an
// offline fixture; checking a release directory against its manifest and completion
// marker; offline preparation of a ready-made release.
#include <gtest/gtest.h>

#include <cctype>
#include <system_error>

#include "release/assembly.h"
#include "release/directory_tree.h"
#include "release/offline_preparation.h"
#include "release/verification.h"
#include "storage/coordinator_lock.h"
#include "support/diagnostic_channel_fixture.h"
#include "support/file_helpers.h"
#include "support/lock_holder.h"
#include "support/lock_namespace.h"
#include "support/release_builder.h"
#include "support/state_files.h"
#include "support/temp_dir.h"
#include "support/tree_compare.h"
#include "transport/offline_fixture.h"

namespace tallybell {
namespace {

namespace fs = std::filesystem;
using namespace 测试;

const 发布内容 新版本文件 = {
    {"Tallybell.exe", "new-exe"}, {"lib/core.dll", "core-2"}, {"lib/shared.dll", "shared"}, {"empty.txt", ""}};

class 版本组装测试 : public ::testing::Test {
 protected:
  // Named locks of this test stay apart from tests running at the same time.
  私有锁命名空间 锁空间_;

  void SetUp() override {
    本地版本状态 状态;
    状态.generation = 4;
    写状态文件(状态根(), 状态);
    清单文本_ = 生成发布清单文本("r2", 新版本文件);
    配置_.programRoot = 目录_.宽路径("program");
    配置_.stateRoot = 目录_.宽路径("state");
    配置_.cacheRoot = 目录_.宽路径("cache");
    配置_.manifestText = 清单文本_;
    配置_.manifestHash = 测试SHA256(清单文本_);
    配置_.diagnosticId = "assembly-test";
  }

  // Serves every file of 文件 as an object from the fixture.
  void 提供全部对象(const 发布内容& 文件 = 新版本文件) {
    for (const auto& [路径, 内容] : 文件) 写测试文件(目录_.子路径("fixture/objects/" + 测试SHA256(内容) + ".object"), 内容);
  }
  fs::path 状态根() const { return 目录_.子路径("state"); }
  fs::path 目标() const { return 目录_.子路径("program/releases/r2"); }
  std::uint32_t 组装() { return 版本组装(配置_, &夹具_, &结果_, nullptr); }

  测试临时目录 目录_;
  离线更新夹具传输 夹具_{目录_.宽路径("fixture")};
  std::string 清单文本_;
  版本组装配置 配置_;
  版本组装结果 结果_;
};

// Installed copies and cache objects are reused only when their bytes match the entry.
TEST_F(版本组装测试, 优先复用已安装版本再用缓存且不用损坏的副本) {
  // The installed release holds Tallybell.exe under another letter case and a damaged
  // core.dll of the same size; the cache holds shared.dll and a damaged core.dll object.
  const 发布内容 旧文件 = {{"TALLYBELL.EXE", "new-exe"}, {"lib/core.dll", "core-2"}, {"empty.txt", ""}};
  const auto 旧目录 = 目录_.子路径("program/releases/r1");
  写入发布目录(旧目录, "r1", 旧文件);
  fs::rename(旧目录 / "TALLYBELL.EXE", 旧目录 / "Tallybell.exe");  // the path as the new release names it
  写测试文件(旧目录 / "lib" / "core.dll", "core-X");
  发布清单 旧清单;
  ASSERT_TRUE(解析发布清单(生成发布清单文本("r1", 旧文件), &旧清单));
  配置_.localReleases.push_back({旧目录.wstring(), 旧清单});
  写测试文件(目录_.子路径("cache/" + 测试SHA256("shared") + ".object"), "shared");
  写测试文件(目录_.子路径("cache/" + 测试SHA256("core-2") + ".object"), "core-Y");
  提供全部对象();
  ASSERT_EQ(组装(), 0u);
  EXPECT_EQ(结果_.copiedFromReleases, 2u);  // Tallybell.exe and empty.txt
  EXPECT_EQ(结果_.copiedFromCache, 1u);     // shared.dll
  EXPECT_EQ(结果_.downloaded, 1u);          // core.dll
  EXPECT_EQ(读测试文件(目标() / "lib" / "core.dll"), "core-2");
  EXPECT_TRUE(发布目录可用(结果_.releaseDirectory));
  EXPECT_EQ(读测试文件(目标() / "complete.json"), 生成完成标记文本("r2", 测试SHA256(清单文本_), 新版本文件));
  EXPECT_TRUE(目录内容(状态根() / "staging").empty());
  EXPECT_EQ(读状态文件(状态根() / "state.txt").pendingRelease, L"r2");
}

TEST_F(版本组装测试, 清单哈希与可执行文件的检查先于一切) {
  配置_.manifestHash[0] = 配置_.manifestHash[0] == 'a' ? 'b' : 'a';
  EXPECT_EQ(组装(), 3011u);

  // No executable, a release id no folder may take, a path that climbs out of the release,
  // a name Windows would open as a device: refused before anything is written, not even the
  // program root.
  for (const auto& 清单 : {生成发布清单文本("r2", {{"bin/app.dll", "x"}}), 生成发布清单文本("..", {{"Tallybell.exe", "x"}}),
                          生成发布清单文本("r2", {{"Tallybell.exe", "x"}, {"a/../../escape.txt", "x"}}),
                          生成发布清单文本("r2", {{"Tallybell.exe", "x"}, {"CON", "x"}})}) {
    配置_.manifestText = 清单;
    配置_.manifestHash = 测试SHA256(清单);
    EXPECT_EQ(组装(), 3009u);
    EXPECT_FALSE(fs::exists(目录_.子路径("program")));
    EXPECT_FALSE(fs::exists(状态根() / "staging"));
  }

  配置_.manifestHash = "UPPER";
  EXPECT_EQ(组装(), 3001u);
}

TEST_F(版本组装测试, 状态冲突写诊断行并以3003拒绝) {
  const struct {
    const char* 原因;
    std::wstring attempting, pending;
    bool 隔离, 允许恢复;
  } 用例表[] = {
      {"attempting-release-exists", L"r1", L"", false, true},
      {"pending-release-conflict", L"", L"r9", false, false},
      {"target-quarantined", L"", L"", true, false},
      {"target-quarantined", L"", L"r2", true, true},  // recovery needs nothing pending
  };
  for (const auto& 项 : 用例表) {
    测试诊断通道 通道("assembly-test");
    ASSERT_TRUE(通道.已创建());
    本地版本状态 状态;
    状态.generation = 8;
    状态.attemptingRelease = 项.attempting;
    状态.pendingRelease = 项.pending;
    if (项.隔离) 状态.quarantined = {L"r2"};
    写状态文件(状态根(), 状态);
    配置_.allowQuarantinedRecovery = 项.允许恢复;
    EXPECT_EQ(组装(), 3003u) << 项.原因;
    const std::string 文本 = 通道.文本();
    EXPECT_NE(文本.find(" task=assembly-test stage=assembly-state-conflict code=3003 {"), std::string::npos);
    EXPECT_NE(文本.find(std::string("\"reason\":\"") + 项.原因 + "\""), std::string::npos) << 文本;
    EXPECT_FALSE(fs::exists(目标()));
  }
}

// A file entry named like the manifest or the completion marker cannot replace them: the
// release fails and nothing is committed.
TEST_F(版本组装测试, 文件条目不能顶替清单或完成标记) {
  for (const auto& [名称, 代码] : {std::pair{"release.manifest.json", 3010u}, std::pair{"complete.json", 3005u}}) {
    SCOPED_TRACE(名称);
    const 发布内容 冒充 = {{"Tallybell.exe", "exe"}, {名称, "{\"forged\":1}"}};
    提供全部对象(冒充);
    配置_.manifestText = 生成发布清单文本("r2", 冒充);
    配置_.manifestHash = 测试SHA256(配置_.manifestText);
    EXPECT_EQ(组装(), 代码);
    EXPECT_FALSE(fs::exists(目标()));
    EXPECT_EQ(读状态文件(状态根() / "state.txt").pendingRelease, L"");
  }
}

// A complete target is not copied again; it becomes pending unless it already is, or is
// the running good release.
TEST_F(版本组装测试, 已完整的目标不再复制并按例外记录) {
  写入发布目录(目标(), 清单文本_, "r2", 新版本文件);
  const struct {
    std::wstring active, lastGood, pending;
    bool 成为待定;
  } 用例[] = {
      {L"", L"", L"", true}, {L"r2", L"r1", L"", true}, {L"r2", L"r2", L"", false}, {L"r1", L"r1", L"r2", false}};
  for (const auto& 项 : 用例) {
    本地版本状态 状态;
    状态.generation = 9;
    状态.activeRelease = 项.active;
    状态.lastGoodRelease = 项.lastGood;
    状态.pendingRelease = 项.pending;
    写状态文件(状态根(), 状态);
    ASSERT_EQ(组装(), 0u);
    EXPECT_TRUE(结果_.alreadyComplete);
    EXPECT_EQ(结果_.downloaded + 结果_.copiedFromCache + 结果_.copiedFromReleases, 0u);
    const auto 之后 = 读状态文件(状态根() / "state.txt");
    EXPECT_EQ(之后.generation, 项.成为待定 ? 10u : 9u) << 项.成为待定;
    EXPECT_EQ(之后.pendingRelease, 项.成为待定 ? L"r2" : 项.pending);
  }
  EXPECT_FALSE(fs::exists(状态根() / "staging"));
}

TEST_F(版本组装测试, 不完整的目标在新版本校验后才被移开) {
  写入发布目录(目标(), 清单文本_, "r2", 新版本文件);
  fs::remove(目标() / "lib" / "shared.dll");
  const auto 旧内容 = 读取目录树(目标());
  提供全部对象();
  ASSERT_EQ(组装(), 0u);
  EXPECT_TRUE(发布目录可用(结果_.releaseDirectory));
  std::vector<std::string> 隔离;
  for (const auto& 名称 : 目录内容(目录_.子路径("program/releases"))) {
    if (名称.rfind("quarantine-r2-", 0) == 0) 隔离.push_back(名称);
  }
  ASSERT_EQ(隔离.size(), 1u);
  EXPECT_EQ(读取目录树(目录_.子路径("program/releases/" + 隔离[0])), 旧内容);
}

const 发布内容 默认文件 = {
    {"Tallybell.exe", "exe content"},
    {"bin/app.dll", "library bytes"},
    {"data/empty.txt", ""},
};

class 发布目录校验 : public ::testing::Test {
 protected:
  void SetUp() override {
    哈希_ = 写入发布目录(目录_.子路径("r1"), "r1", 默认文件);
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

  测试临时目录 目录_;
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
      {"as written", 生成完成标记文本("r1", 哈希_, 默认文件), true},
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
  私有锁命名空间 锁空间_;

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
