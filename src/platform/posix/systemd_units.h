// The scheduled background check on POSIX: a systemd service that runs the update core
// with "--background-check" and a timer that starts it after boot and daily, written to
// the system's unit directory and activated with systemctl.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/task_scheduler.h"

namespace tallybell::platform {

inline constexpr char systemd服务单元名[] = "tallybell-update.service";
inline constexpr char systemd定时器单元名[] = "tallybell-update.timer";

struct 命令结果 {
  bool 已启动 = false;    // false: the program could not be started
  bool 有退出码 = false;  // false: it ended without an exit status (killed by a signal)
  int 退出码 = 0;
};

// Runs 参数[0] (looked up in PATH) with the remaining arguments, without a shell, and
// waits for it. Its standard output goes to this process's standard error, so that the
// update core's own result lines stay the only thing on standard output.
命令结果 运行系统命令(const std::vector<std::string>& 参数);

using 命令运行器 = std::function<命令结果(const std::vector<std::string>& 参数)>;

// Where the units go and how systemctl is run; the defaults are the real system's.
struct systemd注册环境 {
  std::wstring 单元目录 = L"/etc/systemd/system";
  // Present (as a directory) exactly when systemd is the running init system.
  std::wstring 运行标记 = L"/run/systemd/system";
  命令运行器 运行命令 = 运行系统命令;
  // The caller's durable file rules for the unit files; registration fails without them.
  计划任务文件 文件;
};

// The unit texts for 定义. False when a value cannot be carried by a unit file (a control
// character, text that is not valid Unicode, a working directory ending in a blank or a
// backslash, a restart interval that is not a simple ISO 8601 time duration).
bool 生成systemd服务单元(const 后台更新任务定义& 定义, std::string* 输出);
bool 生成systemd定时器单元(const 后台更新任务定义& 定义, std::string* 输出);

// Writes the service and the timer atomically into the unit directory (replacing an
// earlier pair), then runs "systemctl daemon-reload" and
// "systemctl enable --now tallybell-update.timer". Fails with a message, writing nothing,
// where systemd is not running.
bool 注册systemd任务(const 后台更新任务定义& 定义, const systemd注册环境& 环境, std::wstring* 错误);

}  // namespace tallybell::platform
