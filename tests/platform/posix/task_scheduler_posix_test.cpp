// The systemd stand-in for the Task Scheduler, with the unit directory in a temporary
// directory and systemctl replaced by a recorder: no test touches the real system.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>

#include "app/repair_command.h"
#include "platform/posix/systemd_units.h"
#include "support/file_helpers.h"
#include "support/temp_dir.h"
#include "tasks/task_definition.h"

namespace tallybell {
namespace {

using namespace 测试;
namespace fs = std::filesystem;
using 命令表 = std::vector<std::vector<std::string>>;

const std::string 服务754 =
    "[Unit]\n"
    "Description=Tallybell后台更新\n"
    "StartLimitIntervalSec=5h\n"
    "StartLimitBurst=4\n"
    "\n"
    "[Service]\n"
    "Type=simple\n"
    "ExecStart=\"/opt/Tallybell/tallybell-update\" --background-check\n"
    "WorkingDirectory=/opt/Tallybell\n"
    "Restart=on-failure\n"
    "RestartSec=1h\n";
const std::string 定时器754 =
    "[Unit]\n"
    "Description=Tallybell后台更新\n"
    "\n"
    "[Timer]\n"
    "OnBootSec=754s\n"
    "OnCalendar=*-*-* 00:12:34\n"
    "Persistent=true\n"
    "\n"
    "[Install]\n"
    "WantedBy=timers.target\n";

后台更新任务定义 定义(const std::wstring& 路径, std::uint32_t 延迟) {
  后台更新任务定义 结果;
  填写后台更新任务定义(路径, 延迟, &结果);
  return 结果;
}

const 命令表 一次注册的命令 = {{"systemctl", "daemon-reload"},
                                {"systemctl", "enable", "--now", "tallybell-update.timer"}};

class systemd任务 : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(目录_.子路径("run-systemd")); }

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
  fs::path 单元(const char* 名称) const { return 目录_.子路径("units") / 名称; }

  测试临时目录 目录_;
  命令表 命令_;
  std::optional<std::string> 失败命令_;
};

TEST_F(systemd任务, 单元文件逐字节) {
  std::string 服务, 定时器;
  ASSERT_TRUE(platform::生成systemd服务单元(定义(L"/opt/Tallybell/tallybell-update", 754), &服务));
  ASSERT_TRUE(platform::生成systemd定时器单元(定义(L"/opt/Tallybell/tallybell-update", 754), &定时器));
  EXPECT_EQ(服务, 服务754);
  EXPECT_EQ(定时器, 定时器754);

  std::wstring 错误 = L"stale";
  ASSERT_TRUE(注册(定义(L"/opt/Tallybell/tallybell-update", 754), &错误));
  EXPECT_TRUE(错误.empty());
  EXPECT_EQ(读测试文件(单元("tallybell-update.service")), 服务754);
  EXPECT_EQ(读测试文件(单元("tallybell-update.timer")), 定时器754);
  EXPECT_EQ(命令_, 一次注册的命令);
}

TEST_F(systemd任务, 单元文件转义特殊字符) {
  std::string 服务, 定时器;
  ASSERT_TRUE(platform::生成systemd服务单元(定义(L"/opt/My App/100%/a\\b/$HOME/x\"y", 60), &服务));
  EXPECT_NE(服务.find("\nExecStart=\"/opt/My App/100%%/a\\\\b/$$HOME/x\\\"y\" --background-check\n"),
            std::string::npos);
  EXPECT_NE(服务.find("\nWorkingDirectory=/opt/My App/100%%/a\\b/$HOME\n"), std::string::npos);
  ASSERT_TRUE(platform::生成systemd服务单元(定义(L"/tallybell-update", 60), &服务));
  EXPECT_NE(服务.find("\nWorkingDirectory=/\n"), std::string::npos);
  ASSERT_TRUE(platform::生成systemd定时器单元(定义(L"/t", 900), &定时器));
  EXPECT_NE(定时器.find("\nOnBootSec=900s\nOnCalendar=*-*-* 00:15:00\n"), std::string::npos);
}

TEST_F(systemd任务, 重试间隔和次数换算成启动限制) {
  // The window spans the first start and every allowed restart.
  const struct {
    const wchar_t* 间隔;
    std::uint32_t 次数;
    const char* 限制;
    const char* 重试;
  } 用例表[] = {
      {L"PT1H", 3, "StartLimitIntervalSec=5h\nStartLimitBurst=4\n", "RestartSec=1h\n"},
      {L"PT90M", 3, "StartLimitIntervalSec=450min\nStartLimitBurst=4\n", "RestartSec=90min\n"},
      {L"PT1H30M", 0, "StartLimitIntervalSec=3h\nStartLimitBurst=1\n", "RestartSec=90min\n"},
      {L"PT45S", 1, "StartLimitIntervalSec=135s\nStartLimitBurst=2\n", "RestartSec=45s\n"},
  };
  for (const auto& 用例 : 用例表) {
    auto 任务 = 定义(L"/opt/t", 60);
    任务.restartInterval = 用例.间隔;
    任务.restartCount = 用例.次数;
    std::string 服务;
    ASSERT_TRUE(platform::生成systemd服务单元(任务, &服务));
    EXPECT_NE(服务.find(用例.限制), std::string::npos) << 服务;
    EXPECT_NE(服务.find(用例.重试), std::string::npos) << 服务;
  }
}

TEST_F(systemd任务, 单元文件无法表达的值被拒绝且什么也不写) {
  auto 间隔无效 = 定义(L"/opt/t", 60);
  间隔无效.restartInterval = L"1 hour";
  auto 间隔为零 = 定义(L"/opt/t", 60);
  间隔为零.restartInterval = L"PT0S";
  auto 间隔缺单位 = 定义(L"/opt/t", 60);
  间隔缺单位.restartInterval = L"PT1H30";
  auto 延迟过大 = 定义(L"/opt/t", 60);
  延迟过大.delaySeconds = 86400;
  const 后台更新任务定义 用例表[] = {定义(L"/opt/a\nExecStartPre=/bin/evil/t", 60), 定义(L"/opt/a\x7f/t", 60),
                                     定义(L"/opt/a /t", 60), 定义(L"/opt/a\\/t", 60),
                                     定义(std::wstring(L"/opt/\xD800/t"), 60), 间隔无效, 间隔为零, 间隔缺单位, 延迟过大};
  for (const auto& 任务 : 用例表) {
    std::wstring 错误;
    EXPECT_FALSE(注册(任务, &错误));
    EXPECT_EQ(错误, L"后台更新任务的设置无法写成 systemd 单元。");
  }
  EXPECT_FALSE(fs::exists(目录_.子路径("units")));
  EXPECT_TRUE(命令_.empty());
}

TEST_F(systemd任务, 没有运行systemd时失败且什么也不写) {
  fs::remove(目录_.子路径("run-systemd"));
  写测试文件(目录_.子路径("run-systemd"), "");  // a file is no sign of systemd either
  std::wstring 错误;
  EXPECT_FALSE(注册(定义(L"/opt/t", 60), &错误));
  EXPECT_EQ(错误, L"系统未运行 systemd，无法注册后台更新任务。");
  fs::remove(目录_.子路径("run-systemd"));
  EXPECT_FALSE(注册(定义(L"/opt/t", 60), nullptr));
  EXPECT_FALSE(fs::exists(目录_.子路径("units")));
  EXPECT_TRUE(命令_.empty());
}

TEST_F(systemd任务, systemctl失败时报告失败的那一步) {
  失败命令_ = "daemon-reload";
  std::wstring 错误;
  EXPECT_FALSE(注册(定义(L"/opt/t", 60), &错误));
  EXPECT_EQ(错误, L"重新加载 systemd 配置失败。");
  EXPECT_EQ(命令_.size(), 1u);  // the timer is not enabled on a configuration never loaded

  失败命令_ = "enable";
  EXPECT_FALSE(注册(定义(L"/opt/t", 60), &错误));
  EXPECT_EQ(错误, L"启用后台更新定时器失败。");

  auto 环境值 = 环境();
  环境值.运行命令 = [](const std::vector<std::string>&) { return platform::命令结果{}; };  // not found
  EXPECT_FALSE(platform::注册systemd任务(定义(L"/opt/t", 60), 环境值, &错误));
  EXPECT_EQ(错误, L"重新加载 systemd 配置失败。");
  环境值.运行命令 = [](const std::vector<std::string>&) { return platform::命令结果{true, false, 0}; };  // killed
  EXPECT_FALSE(platform::注册systemd任务(定义(L"/opt/t", 60), 环境值, &错误));
  EXPECT_EQ(错误, L"重新加载 systemd 配置失败。");
}

TEST_F(systemd任务, 定时器写不进去时服务单元恢复原样) {
  fs::create_directories(单元("tallybell-update.timer"));  // a directory where the timer belongs
  std::wstring 错误;
  EXPECT_FALSE(注册(定义(L"/opt/t", 60), &错误));
  EXPECT_EQ(错误, L"无法写入后台更新任务的 systemd 单元。");
  EXPECT_EQ(目录内容(目录_.子路径("units")), std::vector<std::string>{"tallybell-update.timer"});

  写测试文件(单元("tallybell-update.service"), "old service\n");
  EXPECT_FALSE(注册(定义(L"/opt/t", 60), &错误));
  EXPECT_EQ(读测试文件(单元("tallybell-update.service")), "old service\n");
  EXPECT_EQ(目录内容(目录_.子路径("units")),
            (std::vector<std::string>{"tallybell-update.service", "tallybell-update.timer"}));
  EXPECT_TRUE(命令_.empty());
}

// --repair-tasks as an elevated process runs it, down to the systemctl commands.
class systemd任务修复 : public systemd任务 {
 protected:
  std::uint32_t 修复(const fs::path& 程序, std::string* 输出) {
    任务修复环境 修复环境 = 系统任务修复环境();
    修复环境.已提升权限 = [] { return true; };
    修复环境.本程序路径 = [程序] { return 程序.wstring(); };
    修复环境.注册任务 = [this](const 后台更新任务定义& 任务, std::wstring* 错误) { return 注册(任务, 错误); };
    修复环境.写输出 = [输出](const std::string& 文本) { *输出 += 文本; };
    return 运行任务修复命令(命令行参数({L"--repair-tasks", L"--state-root", 目录_.宽路径("state")}), 修复环境);
  }
};

TEST_F(systemd任务修复, 两次修复留下一对更新过的单元和同一个延迟) {
  const fs::path 旧程序 = 目录_.子路径("old") / "tallybell-update";
  const fs::path 新程序 = 目录_.子路径("new") / "tallybell-update";
  写测试文件(旧程序, "binary");
  写测试文件(新程序, "binary");
  std::string 输出;
  ASSERT_EQ(修复(旧程序, &输出), 0u);
  EXPECT_EQ(输出, "background update task ready\n");
  const std::string 第一个定时器 = 读测试文件(单元("tallybell-update.timer"));

  输出.clear();
  ASSERT_EQ(修复(新程序, &输出), 0u);
  EXPECT_EQ(输出, "background update task ready\n");
  EXPECT_EQ(目录内容(目录_.子路径("units")),
            (std::vector<std::string>{"tallybell-update.service", "tallybell-update.timer"}));
  const std::string 服务 = 读测试文件(单元("tallybell-update.service"));
  EXPECT_NE(服务.find("\nExecStart=\"" + 新程序.string() + "\" --background-check\n"), std::string::npos);
  EXPECT_NE(服务.find("\nWorkingDirectory=" + 新程序.parent_path().string() + "\n"), std::string::npos);
  EXPECT_EQ(服务.find(旧程序.string()), std::string::npos);
  EXPECT_EQ(读测试文件(单元("tallybell-update.timer")), 第一个定时器);  // the same delay

  const std::string 延迟 = 读测试文件(目录_.子路径("state") / "state" / "update-task-delay.txt");
  EXPECT_NE(第一个定时器.find("\nOnBootSec=" + 延迟.substr(0, 延迟.size() - 1) + "s\n"), std::string::npos);
  命令表 两次 = 一次注册的命令;
  两次.insert(两次.end(), 一次注册的命令.begin(), 一次注册的命令.end());
  EXPECT_EQ(命令_, 两次);
}

TEST_F(systemd任务修复, 没有systemd时以3017结束) {
  fs::remove(目录_.子路径("run-systemd"));
  写测试文件(目录_.子路径("bin") / "tallybell-update", "binary");
  std::string 输出;
  EXPECT_EQ(修复(目录_.子路径("bin") / "tallybell-update", &输出), 3017u);
  EXPECT_EQ(输出, "repair background task failed code=3017\n系统未运行 systemd，无法注册后台更新任务。\n");
  EXPECT_TRUE(命令_.empty());
  // The delay is kept for the next repair even though nothing could be registered.
  EXPECT_TRUE(fs::exists(目录_.子路径("state") / "state" / "update-task-delay.txt"));
}

// Runs a command with this process's standard output sent to a file, and gives back what
// reached that file.
std::string 标准输出内容(const std::vector<std::string>& 参数, platform::命令结果* 结果) {
  std::fflush(stdout);
  测试临时目录 目录;
  const int 文件 = ::open(目录.子路径("stdout").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  const int 原来 = ::dup(STDOUT_FILENO);
  ::dup2(文件, STDOUT_FILENO);
  *结果 = platform::运行系统命令(参数);
  ::dup2(原来, STDOUT_FILENO);
  ::close(原来);
  ::close(文件);
  return 读测试文件(目录.子路径("stdout"));
}

TEST(系统命令, 不经外壳运行并取回退出码且不占用标准输出) {
  platform::命令结果 结果;
  EXPECT_EQ(标准输出内容({"sh", "-c", "echo diagnostic; exit 3"}, &结果), "");
  EXPECT_TRUE(结果.已启动);
  EXPECT_TRUE(结果.有退出码);
  EXPECT_EQ(结果.退出码, 3);

  // Arguments reach the program as they are: no shell splits or expands them.
  const auto 回显 = platform::运行系统命令({"test", "a b;$HOME", "=", "a b;$HOME"});
  EXPECT_TRUE(回显.已启动 && 回显.有退出码 && 回显.退出码 == 0);

  结果 = platform::运行系统命令({"sh", "-c", "kill -9 $$"});
  EXPECT_TRUE(结果.已启动);
  EXPECT_FALSE(结果.有退出码);
  EXPECT_FALSE(platform::运行系统命令({"/nonexistent/tallybell-no-such-program"}).已启动);
  EXPECT_FALSE(platform::运行系统命令({}).已启动);
}

}  // namespace
}  // namespace tallybell
