// The systemd stand-in for the Task Scheduler, with the unit directory in a temporary
// directory and systemctl replaced by a recorder: no test touches the real system.
#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "platform/posix/systemd_units.h"
#include "support/file_helpers.h"
#include "support/temp_dir.h"
#include "tasks/task_definition.h"

namespace tallybell {
namespace {

using namespace 测试;
namespace fs = std::filesystem;
using 命令表 = std::vector<std::vector<std::string>>;

后台更新任务定义 定义(const std::wstring& 路径, std::uint32_t 延迟 = 60) {
  后台更新任务定义 结果;
  填写后台更新任务定义(路径, 延迟, &结果);
  return 结果;
}

const std::vector<std::string> 两个单元 = {"tallybell-update.service", "tallybell-update.timer"};

class systemd任务 : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(目录_.子路径("run-systemd"));
    写测试文件(目录_.子路径("run-file"), "");  // a file is no sign of systemd
  }

  platform::systemd注册环境 环境() {
    platform::systemd注册环境 环境;
    环境.单元目录 = 目录_.宽路径("units");
    环境.运行标记 = 目录_.宽路径("run-systemd");
    环境.文件 = 计划任务持久文件();
    环境.运行命令 = [this](const std::vector<std::string>& 参数) {
      命令_.push_back(参数);
      const bool 失败 = 失败命令_ && 参数.size() > 1 && 参数[1] == *失败命令_;
      return platform::命令结果{true, true, 失败 ? 1 : 0};
    };
    return 环境;
  }
  bool 注册(const 后台更新任务定义& 任务, std::wstring* 错误) {
    return platform::注册systemd任务(任务, 环境(), 错误);
  }
  std::string 单元(const char* 名称) const { return 读测试文件(目录_.子路径("units") / 名称); }

  测试临时目录 目录_;
  命令表 命令_;
  std::optional<std::string> 失败命令_;
};

// Each registration (a repair after the program moved too) replaces both units, reloads
// and enables the timer. The start-limit window spans the first start and every restart.
TEST_F(systemd任务, 注册写下转义后的两个单元并把重试换算成启动限制) {
  const struct {
    const wchar_t* 路径;
    std::uint32_t 延迟;
    const wchar_t* 间隔;
    std::uint32_t 次数;
    std::vector<std::string> 服务行, 定时器行;
  } 用例表[] = {
      {L"/opt/Tallybell/tallybell-update", 754, L"PT1H", 3,
       {"ExecStart=\"/opt/Tallybell/tallybell-update\" --background-check", "WorkingDirectory=/opt/Tallybell",
        "StartLimitIntervalSec=5h", "StartLimitBurst=4", "RestartSec=1h", "Restart=on-failure"},
       {"OnBootSec=754s", "OnCalendar=*-*-* 00:12:34", "Persistent=true", "WantedBy=timers.target"}},
      {L"/opt/My App/100%/a\\b/$HOME/x\"y", 900, L"PT90M", 3,
       {"ExecStart=\"/opt/My App/100%%/a\\\\b/$$HOME/x\\\"y\" --background-check",
        "WorkingDirectory=/opt/My App/100%%/a\\b/$HOME", "StartLimitIntervalSec=450min", "RestartSec=90min"},
       {"OnBootSec=900s", "OnCalendar=*-*-* 00:15:00"}},
      {L"/tallybell-update", 60, L"PT1H30M", 0,
       {"WorkingDirectory=/", "StartLimitIntervalSec=3h", "StartLimitBurst=1", "RestartSec=90min"}, {}},
      {L"/t", 60, L"PT45S", 1, {"StartLimitIntervalSec=135s", "StartLimitBurst=2", "RestartSec=45s"}, {}},
  };
  for (const auto& 用例 : 用例表) {
    auto 任务 = 定义(用例.路径, 用例.延迟);
    任务.restartInterval = 用例.间隔;
    任务.restartCount = 用例.次数;
    std::wstring 错误 = L"stale";
    ASSERT_TRUE(注册(任务, &错误));
    EXPECT_TRUE(错误.empty());
    const std::string 服务 = 单元("tallybell-update.service"), 定时器 = 单元("tallybell-update.timer");
    for (const auto& 行 : 用例.服务行) EXPECT_NE(服务.find("\n" + 行 + "\n"), std::string::npos) << 行 << "\n" << 服务;
    for (const auto& 行 : 用例.定时器行) EXPECT_NE(定时器.find("\n" + 行 + "\n"), std::string::npos) << 行;
  }
  EXPECT_EQ(目录内容(目录_.子路径("units")), 两个单元);
  const 命令表 一次注册的命令 = {{"systemctl", "daemon-reload"}, {"systemctl", "enable", "--now", "tallybell-update.timer"}};
  ASSERT_EQ(命令_.size(), 4 * 一次注册的命令.size());
  EXPECT_EQ(命令表(命令_.end() - 2, 命令_.end()), 一次注册的命令);
}

// Values a unit file cannot express, no systemd, and a failing systemctl: each reports its
// own step, writes no unit, and enables no timer on a configuration never loaded.
TEST_F(systemd任务, 无法表达的值没有systemd或systemctl失败时报告那一步) {
  const std::wstring 无法表达 = L"后台更新任务的设置无法写成 systemd 单元。";
  const std::wstring 重新加载失败 = L"重新加载 systemd 配置失败。";
  const std::wstring 无systemd = L"系统未运行 systemd，无法注册后台更新任务。";
  const auto 改 = [](auto 动作) {
    auto 任务 = 定义(L"/opt/t");
    动作(任务);
    return 任务;
  };
  const auto 未找到 = [](const std::vector<std::string>&) { return platform::命令结果{}; };
  const auto 被杀 = [](const std::vector<std::string>&) { return platform::命令结果{true, false, 0}; };
  const struct {
    后台更新任务定义 任务;
    const char* 失败命令;
    std::function<platform::命令结果(const std::vector<std::string>&)> 运行;
    std::wstring 错误;
    std::size_t 命令数;
    const char* 运行标记 = "run-systemd";
  } 用例表[] = {
      {定义(L"/opt/t"), "", nullptr, 无systemd, 0, "run-file"},
      {定义(L"/opt/t"), "", nullptr, 无systemd, 0, "missing"},
      {定义(L"/opt/a\nExecStartPre=/bin/evil/t"), "", nullptr, 无法表达, 0},
      {定义(L"/opt/a\x7f/t"), "", nullptr, 无法表达, 0},
      {定义(std::wstring(L"/opt/\xD800/t")), "", nullptr, 无法表达, 0},
      {改([](auto& 任务) { 任务.restartInterval = L"1 hour"; }), "", nullptr, 无法表达, 0},
      {改([](auto& 任务) { 任务.restartInterval = L"PT0S"; }), "", nullptr, 无法表达, 0},
      {改([](auto& 任务) { 任务.delaySeconds = 86400; }), "", nullptr, 无法表达, 0},
      {定义(L"/opt/t"), "daemon-reload", nullptr, 重新加载失败, 1},
      {定义(L"/opt/t"), "enable", nullptr, L"启用后台更新定时器失败。", 2},
      {定义(L"/opt/t"), "", 未找到, 重新加载失败, 0},
      {定义(L"/opt/t"), "", 被杀, 重新加载失败, 0},
  };
  for (const auto& 用例 : 用例表) {
    SCOPED_TRACE(testing::PrintToString(用例.任务.executablePath) + " " + 用例.运行标记);
    命令_.clear();
    失败命令_ = 用例.失败命令;
    auto 环境值 = 环境();
    if (用例.运行) 环境值.运行命令 = 用例.运行;
    环境值.运行标记 = 目录_.宽路径(用例.运行标记);
    std::wstring 错误;
    EXPECT_FALSE(platform::注册systemd任务(用例.任务, 环境值, &错误));
    EXPECT_EQ(错误, 用例.错误);
    EXPECT_EQ(命令_.size(), 用例.命令数);
    EXPECT_TRUE((用例.错误 != 无法表达 && 用例.错误 != 无systemd) || !fs::exists(目录_.子路径("units")));
  }
}

TEST_F(systemd任务, 定时器写不进去时服务单元恢复原样) {
  fs::create_directories(目录_.子路径("units/tallybell-update.timer"));  // a directory where the timer belongs
  std::wstring 错误;
  EXPECT_FALSE(注册(定义(L"/opt/t"), &错误));
  EXPECT_EQ(错误, L"无法写入后台更新任务的 systemd 单元。");
  EXPECT_EQ(目录内容(目录_.子路径("units")), std::vector<std::string>{"tallybell-update.timer"});

  写测试文件(目录_.子路径("units/tallybell-update.service"), "old service\n");
  EXPECT_FALSE(注册(定义(L"/opt/t"), &错误));
  EXPECT_EQ(单元("tallybell-update.service"), "old service\n");
  EXPECT_EQ(目录内容(目录_.子路径("units")), 两个单元);
  EXPECT_TRUE(命令_.empty());
}

TEST(系统命令, 不经外壳运行并取回退出码且不占用标准输出) {
  // Whatever the command prints goes elsewhere: none of it may reach our standard output.
  testing::internal::CaptureStdout();
  auto 结果 = platform::运行系统命令({"sh", "-c", "echo diagnostic; exit 3"});
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_TRUE(结果.已启动 && 结果.有退出码);
  EXPECT_EQ(结果.退出码, 3);

  // Arguments reach the program as they are: no shell splits or expands them.
  const auto 回显 = platform::运行系统命令({"test", "a b;$HOME", "=", "a b;$HOME"});
  EXPECT_TRUE(回显.已启动 && 回显.有退出码 && 回显.退出码 == 0);
  结果 = platform::运行系统命令({"sh", "-c", "kill -9 $$"});
  EXPECT_TRUE(结果.已启动 && !结果.有退出码);
  EXPECT_FALSE(platform::运行系统命令({"/nonexistent/tallybell-no-such-program"}).已启动);
  EXPECT_FALSE(platform::运行系统命令({}).已启动);
}

}  // namespace
}  // namespace tallybell
