// The commands as the scheduled task and an operator run them: the built program over real
// directories and an offline fixture, one run per row, each row on what the rows before left.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "app/elevation_decision.h"
#include "app/repair_command.h"
#include "release/verification.h"
#include "results/result_queue.h"
#include "storage/coordinator_lock.h"
#include "support/file_helpers.h"
#include "support/lock_holder.h"
#include "support/lock_namespace.h"
#include "support/program_runner.h"
#include "support/result_events.h"
#include "support/state_files.h"
#include "support/temp_dir.h"
#include "support/tree_compare.h"
#include "support/update_fixture.h"

namespace tallybell {
namespace {

namespace fs = std::filesystem;
using namespace 测试;

struct 运行行 {
  const char* 名称;
  std::function<void()> 准备;
  std::vector<std::string> 参数;
  std::string 输出;
  std::uint32_t 代码;
  std::function<void()> 检查;
};

class 命令 : public ::testing::Test {
 protected:
  void SetUp() override {
    夹具策略 策略;
    策略.checkAfter = "2099-01-01T00:00:00Z";
    写入更新夹具(路径("fixture"), 策略, {{"Tallybell.exe", "exe-7"}, {"data/a.bin", "aaaa"}});
    写目录树(路径("fixture/releases/r1"), {{"Tallybell.exe", "MZ-app"}, {"complete.json", R"({"releaseId":"r1"})"},
                                            {"lib/core.dll", std::string("\0\1\2core", 7)},
                                            {"res/zh/strings.txt", "\xE4\xBD\xA0\xE5\xA5\xBD"}});
  }
  fs::path 路径(const std::string& 名称) const { return 目录_.子路径(名称); }
  std::string 文本(const std::string& 名称) const { return 路径(名称).u8string(); }
  void 运行全部(const std::vector<运行行>& 行表) {
    for (const auto& 行 : 行表) {
      SCOPED_TRACE(行.名称);
      if (行.准备) 行.准备();
      const auto 结果 = 运行更新程序(行.参数);
      ASSERT_TRUE(结果.已运行);
      EXPECT_EQ(结果.输出, 行.输出);
      EXPECT_EQ(结果.退出码, 可观察退出码(行.代码));
      if (行.检查) 行.检查();
    }
  }

  私有锁命名空间 锁空间_;
  测试临时目录 目录_;
};

TEST_F(命令, 离线准备) {
  const std::vector<std::string> 准备r1 = {"--offline-fixture", 文本("fixture"), "--prepare-release", "r1",
                                          "--program-root", 文本("program"), "--state-root", 文本("state")};
  auto 换标识 = [&](const std::string& 标识) { auto 参数 = 准备r1; 参数[3] = 标识; return 参数; };
  const std::string 缺选项 = "错误 3001：离线准备必须同时提供 --offline-fixture 和 --prepare-release。\n";
  const std::string 无效 = "offline prepare failed code=3001\n", 冲突 = "offline prepare failed code=3003\n";
  std::string 旧状态;
  const auto 未动 = [&] {
    EXPECT_EQ(读测试文件(路径("state/state.txt")), 旧状态);
    EXPECT_FALSE(fs::exists(路径("program/releases/r1")));
  };
  const auto 状态为 = [&](std::function<void(本地版本状态&)> 修改) {
    return [=, &旧状态] {
      本地版本状态 状态;
      状态.generation = 5;
      修改(状态);
      写状态文件(路径("state"), 状态);
      旧状态 = 读测试文件(路径("state/state.txt"));
    };
  };
  运行全部({
      {"no fixture", 状态为([](auto&) {}), {"--prepare-release", "r1", "--state-root", 文本("state")}, 缺选项, 3001, 未动},
      {"dot-dot", nullptr, 换标识(".."), 无效, 3001, 未动},
      {"attempting", 状态为([](auto& 状态) { 状态.attemptingRelease = L"r0"; }), 准备r1, 冲突, 3003, 未动},
      {"pending other case", 状态为([](auto& 状态) { 状态.pendingRelease = L"R1"; }), 准备r1, 冲突, 3003, 未动},
      {"quarantined", 状态为([](auto& 状态) { 状态.quarantined = {L"x", L"r1"}; }), 准备r1, 冲突, 3003, 未动},
      {"prepared", 状态为([](auto& 状态) { 状态.activeRelease = L"r0"; }), 准备r1, "offline release prepared\n", 0,
       [&] {
         EXPECT_EQ(读取目录树(路径("program/releases/r1")), 读取目录树(路径("fixture/releases/r1")));
         const auto 状态 = 读状态文件(路径("state/state.txt"));
         EXPECT_EQ(状态.pendingRelease, L"r1");
         EXPECT_EQ(状态.generation, 6u);
         EXPECT_EQ(读测试文件(路径("state/state.txt.bak")), 旧状态);
         EXPECT_TRUE(目录内容(路径("state/staging")).empty());
       }},
  });
}

TEST_F(命令, 后台检查) {
  const std::vector<std::string> 检查 = {"--background-check", "--offline-fixture", 文本("fixture"),
                                        "--program-root", 文本("program"), "--state-root", 文本("state")};
  auto 加上 = [&](std::vector<std::string> 额外) { auto 参数 = 检查; 参数.insert(参数.end(), 额外.begin(), 额外.end()); return 参数; };
  std::unique_ptr<持锁线程> 另一运行;
  运行全部({
      {"prepared", nullptr, 检查, "background release prepared\n", 0,
       [&] {
         EXPECT_TRUE(发布目录可用(路径("program/releases/r2").wstring()));
         EXPECT_EQ(读状态文件(路径("state/state.txt")).pendingRelease, L"r2");
         // Without --cache-root the cache lives below the state root.
         EXPECT_EQ(目录内容(路径("state/cache/objects/sha256")).size(), 2u);
         EXPECT_NE(读测试文件(路径("fixture/reported-results.ndjson")).find("\"result\":\"prepared\""),
                   std::string::npos);
       }},
      {"not yet due", nullptr, 检查, "background update skipped until checkAfter\n", 0, nullptr},
      {"another run", [&] { 另一运行 = std::make_unique<持锁线程>(协调器锁名称); ASSERT_TRUE(另一运行->已取得()); },
       加上({"--force-check"}), "background update already running\n", 0, [&] { 另一运行.reset(); }},
      {"no manifest", [&] { fs::remove(路径("fixture/manifest.json")); }, 加上({"--force-check", "--cache-root", 文本("c")}),
       "background update failed code=3015\n无法下载发布清单。\n", 3015, nullptr},
      {"backing off", nullptr, 检查, "background update skipped until checkAfter\n", 3018, nullptr},
  });
}

// The delivered events reach the service; a malformed one stays queued and fails the run.
TEST_F(命令, 结果回报) {
  for (const char* 标识 : {"e1", "e2"}) ASSERT_TRUE(结果事件入队(目录_.宽路径("state"), 测试结果事件(标识)));
  写测试文件(路径("state/results/pending/e4.json"), "{\"no\":\"id\"}");
  运行全部({{"malformed kept", nullptr,
             {"--report-result", "--state-root", 文本("state"), "--offline-fixture", 文本("fixture"), "--result-url",
              "https://results.example/update/v1/results"},
             "result report failed code=3019 pending=1\n", 3019, [&] {
               EXPECT_EQ(读测试文件(路径("fixture/reported-results.ndjson")),
                         结果事件文档(测试结果事件("e1")) + "\n" + 结果事件文档(测试结果事件("e2")) + "\n");
             }}});
}

// The elevation decisions and the task repair command with the operating-system services
// replaced.
TEST(提升权限判断, 只有程序文件夹之内的程序根需要提升) {
  const struct {
    const wchar_t* 程序根;
    const wchar_t* 程序文件夹;
    bool 需要;
  } 用例表[] = {
      {L"C:\\Program Files\\Tallybell", L"C:\\Program Files", true},
      {L"c:\\program files\\TALLYBELL", L"C:\\Program Files", true},  // letter case ignored
      {L"C:\\Program Files", L"C:\\Program Files\\", true},           // trailing separator dropped
      {L"C:\\Program Files/Tallybell", L"C:\\Program Files", true},
      {L"C:\\Program Files (x86)\\Tallybell", L"C:\\Program Files", false},  // sibling, shared prefix
      {L"D:\\Tallybell", L"C:\\Program Files", false},
      {L"C:\\Program", L"C:\\Program Files", false},
      {L"", L"C:\\Program Files", false},
      {L"C:\\Program Files\\Tallybell", L"", false},
      {L"C:\\Tallybell", L"C:\\", true},  // a folder at a drive root keeps its separator
  };
  for (const auto& 项 : 用例表) {
    EXPECT_EQ(程序根需要提升权限(项.程序根, 项.程序文件夹), 项.需要) << 项.程序根 << L" in " << 项.程序文件夹;
  }
}

// The quoting and the flag at the end are checked with the re-launch itself (elevation_test);
// a flag already among the arguments is not passed twice.
TEST(提升权限判断, 子进程参数不重复标志) {
  EXPECT_EQ(提升权限参数({L"--elevated-background-check", L"--force-check"}, L"--elevated-background-check"),
            L"\"--force-check\" --elevated-background-check");
}

// The task repair command: its decisions with the operating-system services replaced.
class 任务修复命令 : public ::testing::Test {
 protected:
  void SetUp() override { 写测试文件(目录_.子路径("program") / "tallybell-update", "binary"); }

  std::uint32_t 运行(std::vector<std::wstring> 参数) {
    任务修复环境 环境;
    环境.取默认目录 = [this](默认目录* 输出) { return !(输出->stateRoot = 目录_.宽路径("default-state")).empty(); };
    环境.已提升权限 = [this] { return 已提升_; };
    环境.提升权限重新启动 = [this](const std::wstring& 参数) { 重新启动参数_.push_back(参数); return 子进程_; };
    环境.本程序路径 = [this] { return (目录_.子路径("program") / "tallybell-update").wstring(); };
    环境.注册任务 = [this](const 后台更新任务定义& 定义, std::wstring*) { 已注册_.push_back(定义); return true; };
    环境.写输出 = [](const std::string&) {};
    return 运行任务修复命令(命令行参数(std::move(参数)), 环境);
  }

  测试临时目录 目录_;
  bool 已提升_ = true;
  platform::重新启动结果 子进程_;
  std::vector<std::wstring> 重新启动参数_;
  std::vector<后台更新任务定义> 已注册_;
};

// Not elevated, the command runs itself elevated with the state root and returns the
// child's code; elevated (or flagged so), it registers the task, with the same stored delay
// each time.
TEST_F(任务修复命令, 未提升时以提升权限重新运行而已提升时直接修复) {
  已提升_ = false;
  子进程_.已启动 = 子进程_.有退出码 = true;
  子进程_.退出码 = 3017;
  EXPECT_EQ(运行({L"--repair-tasks", L"--state-root", L"D:\\状态 根\\"}), 3017u);
  EXPECT_EQ(重新启动参数_.back(), L"--repair-tasks --elevated-repair-tasks --state-root \"D:\\状态 根\\\\\"");
  子进程_.退出码 = 0;
  EXPECT_EQ(运行({L"--repair-tasks"}), 0u);
  EXPECT_EQ(重新启动参数_.back(),
            L"--repair-tasks --elevated-repair-tasks --state-root \"" + 目录_.宽路径("default-state") + L"\"");
  EXPECT_TRUE(已注册_.empty());
  EXPECT_FALSE(std::filesystem::exists(目录_.子路径("default-state")));

  for (bool 已提升 : {true, false}) {
    已提升_ = 已提升;
    EXPECT_EQ(运行({L"--repair-tasks", L"--elevated-repair-tasks", L"--state-root", 目录_.宽路径("state")}), 0u);
  }
  EXPECT_EQ(重新启动参数_.size(), 2u);
  ASSERT_EQ(已注册_.size(), 2u);
  const std::uint32_t 延迟 = static_cast<std::uint32_t>(std::stoul(读测试文件(目录_.子路径("state/state/update-task-delay.txt"))));
  EXPECT_EQ(已注册_[0].delaySeconds, 延迟);
  EXPECT_EQ(已注册_[1].delaySeconds, 延迟);
  EXPECT_EQ(std::filesystem::path(已注册_[0].executablePath), 目录_.子路径("program") / "tallybell-update");
  EXPECT_EQ(已注册_[0].arguments, L"--background-check");
}

}  // namespace
}  // namespace tallybell
