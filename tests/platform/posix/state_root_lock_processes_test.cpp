// A background check and an offline preparation started from different environments (each
// with its own XDG_RUNTIME_DIR, so their coordinator locks never meet) on one state root:
// the preparation runs while the check is in the middle of its assembly, and neither run's
// work may be lost.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "download/download_task.h"
#include "release/verification.h"
#include "support/file_helpers.h"
#include "support/lock_holder.h"
#include "support/lock_namespace.h"
#include "support/program_runner.h"
#include "support/state_files.h"
#include "support/temp_dir.h"
#include "support/tree_compare.h"
#include "support/update_fixture.h"

namespace tallybell {
namespace {

namespace fs = std::filesystem;
using namespace 测试;

bool 有组装暂存目录(const fs::path& 暂存根) {
  std::error_code 错误;
  for (auto it = fs::directory_iterator(暂存根, 错误); !错误 && it != fs::directory_iterator(); it.increment(错误)) {
    if (it->is_directory() && it->path().filename().u8string().rfind("assemble-", 0) == 0) return true;
  }
  return false;
}

TEST(不同锁命名空间, 离线准备在后台检查组装期间运行两者都不丢失) {
  私有锁命名空间 检查的命名空间;  // this process and the check share it
  测试临时目录 另一个命名空间;
  测试临时目录 目录;
  const fs::path 夹具 = 目录.子路径("fixture"), 程序根 = 目录.子路径("program"), 状态根 = 目录.子路径("state");
  写入更新夹具(夹具, 夹具策略{}, {{"Tallybell.exe", "exe-2"}, {"data/a.bin", "aaaa"}});
  写目录树(夹具 / "releases" / "r3", {{"Tallybell.exe", "exe-3"}, {"complete.json", "{}"}});
  本地版本状态 状态;
  状态.generation = 4;
  写状态文件(状态根, 状态);

  // Holding one object's download lock parks the check inside its assembly until released.
  auto 对象锁 = std::make_unique<持锁线程>(下载对象锁前缀 + fs::path(测试SHA256("aaaa")).wstring());
  ASSERT_TRUE(对象锁->已取得());
  auto 检查 = std::async(std::launch::async, [&] {
    return 运行更新程序({"--background-check", "--offline-fixture", 夹具.u8string(), "--program-root",
                         程序根.u8string(), "--state-root", 状态根.u8string()});
  });
  while (!有组装暂存目录(状态根 / "staging") &&
         检查.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
  }
  ASSERT_TRUE(有组装暂存目录(状态根 / "staging")) << 检查.get().输出;
  const auto 准备 = 运行更新程序({"--offline-fixture", 夹具.u8string(), "--prepare-release", "r3", "--program-root",
                                  程序根.u8string(), "--state-root", 状态根.u8string()},
                                 {{"XDG_RUNTIME_DIR", 另一个命名空间.路径().string()}});
  EXPECT_EQ(准备.输出, "offline release prepared\n");
  对象锁.reset();
  const auto 检查结果 = 检查.get();

  // The preparation's commit stands; the check's release is complete on disk (its live
  // staging was left alone), and its own commit, built on the older state, wrote nothing.
  EXPECT_EQ(读状态文件(状态根 / "state.txt").pendingRelease, L"r3") << 检查结果.输出;
  EXPECT_TRUE(发布目录可用((程序根 / "releases" / "r2").wstring())) << 检查结果.输出;
  EXPECT_EQ(读测试文件(程序根 / "releases" / "r3" / "Tallybell.exe"), "exe-3");
}

}  // namespace
}  // namespace tallybell
