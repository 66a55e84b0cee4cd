// Releases published with the tool, installed by the real update program: offline
// preparation of the ready-made release, and a background check against the fixture.
#include <gtest/gtest.h>

#include "download/object_cache.h"
#include "publish/publish_test_support.h"
#include "release/verification.h"
#include "support/lock_namespace.h"
#include "support/state_files.h"
#include "support/temp_dir.h"

namespace tallybell {
namespace {

namespace fs = std::filesystem;
using namespace 测试;

class 夹具往返 : public ::testing::Test {
 protected:
  // The update program's locks stay apart from tests running at the same time.
  测试::私有锁命名空间 锁空间_;

  void SetUp() override { 写构建(构建(), 样例构建()); }
  fs::path 构建() const { return 目录_.子路径("build"); }
  fs::path 内容() const { return 目录_.子路径("content"); }
  fs::path 程序根() const { return 目录_.子路径("program"); }
  fs::path 状态根() const { return 目录_.子路径("state"); }
  std::vector<std::string> 根() const { return {"--program-root", 路径文本(程序根()), "--state-root", 路径文本(状态根())}; }
  程序结果 运行核心(std::vector<std::string> 参数) const {
    const auto 附加 = 根();
    参数.insert(参数.end(), 附加.begin(), 附加.end());
    return 运行更新程序(参数);
  }
  void 写状态(const std::wstring& 已安装版本) {
    本地版本状态 状态;
    状态.generation = 1;
    状态.activeRelease = 状态.lastGoodRelease = 已安装版本;
    写状态文件(状态根(), 状态);
  }

  测试临时目录 目录_;
};

TEST_F(夹具往返, 现成版本经离线准备安装) {
  发布(构建(), "r1", 内容());
  生成夹具(内容(), "r1", 目录_.子路径("fixture"), true);
  写状态(L"");
  const auto 结果 = 运行核心({"--offline-fixture", 路径文本(目录_.子路径("fixture")), "--prepare-release", "r1"});
  ASSERT_EQ(结果.退出码, 0u) << 结果.输出;
  EXPECT_TRUE(发布目录可用((程序根() / "releases/r1").wstring()));
  EXPECT_EQ(读测试文件(程序根() / "releases/r1" / fs::u8path("docs/读我.txt")), "sample release notes\n");
  EXPECT_EQ(读状态文件(状态根() / "state.txt").pendingRelease, L"r1");
}

TEST_F(夹具往返, 后台检查从夹具下载并组装) {
  发布(构建(), "r1", 内容());
  生成夹具(内容(), "r1", 目录_.子路径("fixture"), false);
  const auto 结果 = 运行核心({"--background-check", "--offline-fixture", 路径文本(目录_.子路径("fixture"))});
  ASSERT_EQ(结果.退出码, 0u) << 结果.输出;
  EXPECT_TRUE(发布目录可用((程序根() / "releases/r1").wstring()));
  EXPECT_EQ(读状态文件(状态根() / "state.txt").pendingRelease, L"r1");
}

TEST_F(夹具往返, 第二个发布的共享文件从已安装版本复制) {
  发布(构建(), "r1", 内容());
  生成夹具(内容(), "r1", 目录_.子路径("fixture1"), true);
  写状态(L"");
  ASSERT_EQ(运行核心({"--offline-fixture", 路径文本(目录_.子路径("fixture1")), "--prepare-release", "r1"}).退出码, 0u);
  写状态(L"r1");  // the launcher has started r1 and confirmed it

  写测试文件(构建() / fs::u8path("docs/读我.txt"), "notes of the second release\n");
  发布(构建(), "r2", 内容());
  生成夹具(内容(), "r2", 目录_.子路径("fixture2"), false, "2");
  const auto 结果 = 运行核心({"--background-check", "--offline-fixture", 路径文本(目录_.子路径("fixture2"))});
  ASSERT_EQ(结果.退出码, 0u) << 结果.输出;
  EXPECT_TRUE(发布目录可用((程序根() / "releases/r2").wstring()));
  // Only the changed file was downloaded; the shared ones came from releases/r1.
  EXPECT_EQ(目录内容(状态根() / "cache/objects/sha256"),
            std::vector<std::string>{测试SHA256("notes of the second release\n") + ".object"});
}

TEST_F(夹具往返, 夹具只接受指向该清单的策略且不覆盖已有目录) {
  发布(构建(), "r1", 内容());
  写测试文件(构建() / "bin/core.dll", "other");
  发布(构建(), "r2", 内容());
  生成夹具(内容(), "r2", 目录_.子路径("fixture"), false);
  const std::string 策略 = 路径文本(目录_.子路径("fixture-policy.json"));  // names r2's manifest

  const auto 他人策略 = 运行发布工具({"fixture", "--content", 路径文本(内容()), "--release-id", "r1", "--policy", 策略,
                                      "--out", 路径文本(目录_.子路径("other"))});
  EXPECT_EQ(他人策略.退出码, 3u) << 他人策略.输出;
  EXPECT_FALSE(fs::exists(目录_.子路径("other")));

  const auto 已存在 = 运行发布工具({"fixture", "--content", 路径文本(内容()), "--release-id", "r2", "--policy", 策略,
                                    "--out", 路径文本(目录_.子路径("fixture"))});
  EXPECT_EQ(已存在.退出码, 6u) << 已存在.输出;

  // A content directory whose object went bad gives no fixture at all.
  std::string 数据 = 读测试文件(内容() / "objects" / (测试SHA256("other") + ".object"));
  数据[0] = 'O';
  写测试文件(内容() / "objects" / (测试SHA256("other") + ".object"), 数据);
  const auto 坏对象 = 运行发布工具({"fixture", "--content", 路径文本(内容()), "--release-id", "r2", "--policy", 策略,
                                    "--out", 路径文本(目录_.子路径("fixture-b"))});
  EXPECT_EQ(坏对象.退出码, 5u) << 坏对象.输出;
  EXPECT_FALSE(fs::exists(目录_.子路径("fixture-b")));
  EXPECT_EQ(目录内容(目录_.路径()), (std::vector<std::string>{"build", "content", "fixture", "fixture-policy.json"}));
}

}  // namespace
}  // namespace tallybell
