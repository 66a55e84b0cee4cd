// Offline preparation as the operator runs it: the built program on real directories.
#include <gtest/gtest.h>

#include "storage/version_state.h"
#include "support/program_runner.h"
#include "support/state_files.h"
#include "support/lock_namespace.h"
#include "support/temp_dir.h"
#include "support/tree_compare.h"

namespace tallybell {
namespace {

namespace fs = std::filesystem;
using namespace 测试;

const std::map<std::string, std::string> 版本文件 = {
    {"Tallybell.exe", "MZ-app"},
    {"complete.json", R"({"releaseId":"r1"})"},
    {"lib/core.dll", std::string("\0\1\2core", 7)},
    {"res/zh/strings.txt", "\xE4\xBD\xA0\xE5\xA5\xBD"},
};

class 离线准备命令 : public ::testing::Test {
 protected:
  // Named locks of this test stay apart from tests running at the same time.
  测试::私有锁命名空间 锁空间_;

  void SetUp() override {
    写目录树(夹具() / "releases" / "r1", 版本文件);
    本地版本状态 状态;
    状态.generation = 5;
    状态.activeRelease = L"r0";
    写状态文件(状态根(), 状态);
  }

  fs::path 夹具() const { return 目录_.子路径("fixture"); }
  fs::path 程序根() const { return 目录_.子路径("program"); }
  fs::path 状态根() const { return 目录_.子路径("state"); }
  fs::path 目标() const { return 程序根() / "releases" / "r1"; }

  程序结果 准备(const std::string& 发布标识 = "r1") {
    return 运行更新程序({"--offline-fixture", 夹具().u8string(), "--prepare-release", 发布标识,
                         "--program-root", 程序根().u8string(), "--state-root", 状态根().u8string()});
  }

  void 期望失败(const 程序结果& 结果, std::uint32_t 代码) {
    ASSERT_TRUE(结果.已运行);
    EXPECT_EQ(结果.输出, "offline prepare failed code=" + std::to_string(代码) + "\n");
    EXPECT_EQ(结果.退出码, 可观察退出码(代码));
  }

  测试临时目录 目录_;
};

TEST_F(离线准备命令, 复制整棵树并记录为待定版本) {
  const std::string 旧状态 = 读测试文件(状态根() / "state.txt");
  const auto 结果 = 准备();
  ASSERT_TRUE(结果.已运行);
  EXPECT_EQ(结果.输出, "offline release prepared\n");
  EXPECT_EQ(结果.退出码, 0u);

  EXPECT_EQ(读取目录树(目标()), 读取目录树(夹具() / "releases" / "r1"));
  const auto 状态 = 读状态文件(状态根() / "state.txt");
  EXPECT_EQ(状态.pendingRelease, L"r1");
  EXPECT_EQ(状态.activeRelease, L"r0");
  EXPECT_EQ(状态.generation, 6u);
  // Canonical on disk: parsing and writing again gives the same bytes.
  EXPECT_EQ(序列化本地版本状态(状态), 读测试文件(状态根() / "state.txt"));
  EXPECT_EQ(读测试文件(状态根() / "state.txt.bak"), 旧状态);
  // The staging directory is gone.
  EXPECT_TRUE(目录内容(状态根() / "staging").empty());
}

TEST_F(离线准备命令, 缺少选项或标识无效时不触碰任何东西) {
  const auto 缺夹具 = 运行更新程序({"--prepare-release", "r1", "--state-root", 状态根().u8string()});
  EXPECT_EQ(缺夹具.输出, "错误 3001：离线准备必须同时提供 --offline-fixture 和 --prepare-release。\n");
  EXPECT_EQ(缺夹具.退出码, 可观察退出码(3001));
  // --prepare-release standing last has no value.
  const auto 无值 = 运行更新程序({"--offline-fixture", 夹具().u8string(), "--prepare-release"});
  EXPECT_EQ(无值.输出, 缺夹具.输出);
  for (const std::string& 标识 : std::vector<std::string>{"..", ".", std::string(65, 'a'), "a b"}) {
    期望失败(准备(标识), 3001);
  }
  EXPECT_FALSE(fs::exists(程序根()));
  EXPECT_FALSE(fs::exists(状态根() / "state.txt.bak"));
}

TEST_F(离线准备命令, 状态不允许时为3003) {
  struct 用例 {
    const char* 名称;
    void (*修改)(本地版本状态*);
  };
  const 用例 用例表[] = {
      {"attempting", [](本地版本状态* 状态) { 状态->attemptingRelease = L"r0"; }},
      {"pending other", [](本地版本状态* 状态) { 状态->pendingRelease = L"r2"; }},
      {"pending other case", [](本地版本状态* 状态) { 状态->pendingRelease = L"R1"; }},
      {"quarantined", [](本地版本状态* 状态) { 状态->quarantined = {L"x", L"r1"}; }},
  };
  for (const auto& 项 : 用例表) {
    本地版本状态 状态;
    状态.generation = 3;
    项.修改(&状态);
    写状态文件(状态根(), 状态);
    const std::string 之前 = 读测试文件(状态根() / "state.txt");
    期望失败(准备(), 3003);
    EXPECT_EQ(读测试文件(状态根() / "state.txt"), 之前) << 项.名称;
    EXPECT_FALSE(fs::exists(目标())) << 项.名称;
  }
}

}  // namespace
}  // namespace tallybell
