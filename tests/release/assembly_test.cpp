#include "release/assembly.h"

#include <gtest/gtest.h>

#include "release/verification.h"
#include "support/diagnostic_channel_fixture.h"
#include "support/release_builder.h"
#include "support/state_files.h"
#include "support/lock_namespace.h"
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
  测试::私有锁命名空间 锁空间_;

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

}  // namespace
}  // namespace tallybell
