// The operating system's scheduler for the background check: the Task Scheduler on
// Windows, a systemd service and timer on POSIX.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace tallybell {

// What the scheduled task is: plain values, decided by the task layer above.
struct 后台更新任务定义 {
  std::wstring taskName;
  std::wstring executablePath;    // full and normalised
  std::wstring workingDirectory;  // executablePath before its last separator
  std::wstring arguments;
  std::wstring logonDelay;        // ISO 8601 duration, "PT754S"
  std::wstring restartInterval;   // ISO 8601 duration, "PT1H"
  std::uint32_t delaySeconds = 0;
  std::uint32_t restartCount = 0;
  bool runWithHighestPrivileges = false;
  bool startWhenAvailable = false;
  bool ignoreNewInstances = false;
  std::wstring dailyStartTime;      // "hh:mm:ss", delaySeconds after local midnight
  std::wstring dailyStartBoundary;  // today's date at dailyStartTime, set when registering
};

}  // namespace tallybell

namespace tallybell::platform {

// How a scheduler that keeps its task in files (systemd units) reads and durably replaces
// them: through the caller's file rules, which sit above this layer. The Windows Task
// Scheduler keeps its own store and does not use them.
struct 计划任务文件 {
  std::function<bool(const std::wstring& 路径, std::string* 内容)> 读取;
  std::function<bool(const std::wstring& 路径, const std::string& 内容)> 原子写入;
  std::function<bool(const std::wstring& 路径)> 删除;
};

// Creates or updates the scheduled task that 定义 describes. Nothing replaces an earlier
// task of the same name unless every step before the final registration succeeded. On
// failure *错误 names the failed step; on success it is cleared.
bool 注册计划任务(const 后台更新任务定义& 定义, const 计划任务文件& 文件, std::wstring* 错误);

}  // namespace tallybell::platform
