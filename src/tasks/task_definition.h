// The scheduled task that starts the background check: its description, built from the
// update core's own path and the installation's delay, and its registration with the
// operating system's scheduler.
#pragma once

#include <cstdint>
#include <string>

#include "platform/clock.h"
#include "platform/task_scheduler.h"

namespace tallybell {

// Absolute by the Windows rule: at least 3 characters, and either an ASCII letter, ':'
// and '\' or '/', or two leading backslashes.
bool 是Windows绝对路径形式(const std::wstring& 路径);
// Absolute by the POSIX rule: a leading '/'.
bool 是POSIX绝对路径形式(const std::wstring& 路径);

// True when 路径 is absolute by the rule of the platform the program runs on and could be
// normalised ('.' and '..' resolved, separators made uniform); *输出 then holds the
// normalised path. On false *输出 is unspecified.
bool 是绝对路径(const std::wstring& 路径, std::wstring* 输出);

// Fills *输出 for an already normalised path and a delay in 60 to 900: the fixed name,
// arguments, restart policy and flags, the logon delay "PT<delay>S" and the working
// directory (empty when the path has no separator).
void 填写后台更新任务定义(const std::wstring& 完整路径, std::uint32_t 延迟秒, 后台更新任务定义* 输出);

// Validates the delay (60 to 900, and an output given) and the path (absolute and
// normalisable), then fills *输出. On failure *错误 receives the one sentence that names
// the problem and *输出 is left as it was; on success *错误 is cleared.
bool 构建后台更新任务定义(const std::wstring& 更新核心路径, std::uint32_t 延迟秒, 后台更新任务定义* 输出,
                         std::wstring* 错误);

// The time of day 延迟秒 after midnight, "hh:mm:ss".
std::wstring 每日开始时刻(std::uint32_t 延迟秒);
// The daily trigger's first start: 今天's date at the time of day 延迟秒 after midnight,
// "yyyy-mm-ddThh:mm:ss" without a zone, so that the scheduler reads it as local time.
std::wstring 每日开始边界(const platform::本地时刻& 今天, std::uint32_t 延迟秒);

// Creates the task, or replaces an existing one of the same name, with the operating
// system's scheduler. On failure *错误 says which step failed and why, and an earlier task
// of that name is left as it was; on success *错误 is cleared.
bool 注册后台更新任务(const 后台更新任务定义& 定义, std::wstring* 错误);

// The scheduler's unit files are written like every other file of ours: whole reads and
// the flushed, renamed atomic write.
platform::计划任务文件 计划任务持久文件();

}  // namespace tallybell
