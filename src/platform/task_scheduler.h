// The operating system's scheduler for the background check: the Task Scheduler on
// Windows, a systemd service and timer on POSIX.
#pragma once

#include <string>

#include "tasks/task_definition.h"

namespace tallybell::platform {

// Creates or updates the scheduled task that 定义 describes. Nothing replaces an earlier
// task of the same name unless every step before the final registration succeeded. On
// failure *错误 names the failed step; on success it is cleared.
bool 注册计划任务(const 后台更新任务定义& 定义, std::wstring* 错误);

}  // namespace tallybell::platform
