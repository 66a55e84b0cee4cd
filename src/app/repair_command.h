// --repair-tasks: registers, or registers again, the scheduled background check. The
// operating-system services it uses can be replaced, so that every decision of the
// command can be checked without administrative rights or a real scheduler.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "app/arguments.h"
#include "platform/elevation.h"
#include "storage/default_roots.h"
#include "tasks/task_definition.h"

namespace tallybell {

struct 任务修复环境 {
  std::function<bool(默认目录*)> 取默认目录;
  std::function<bool()> 已提升权限;
  std::function<platform::重新启动结果(const std::wstring& 参数)> 提升权限重新启动;
  std::function<std::wstring()> 本程序路径;
  std::function<bool(const 后台更新任务定义&, std::wstring*)> 注册任务;
  std::function<void(const std::string&)> 写输出;  // UTF-8 result lines
};

// The real services: default directories, elevation, module path, the operating
// system's scheduler and standard output.
任务修复环境 系统任务修复环境();

// Runs the command with 环境 and returns its exit code.
std::uint32_t 运行任务修复命令(const 命令行参数& 命令, const 任务修复环境& 环境);

}  // namespace tallybell
