// The installation's own random delay for the scheduled background check: drawn once,
// kept in a one-line file below the state root and reused by every later repair.
#pragma once

#include <cstdint>
#include <string>

namespace tallybell {

inline constexpr std::uint32_t 最短任务延迟秒 = 60;
inline constexpr std::uint32_t 最长任务延迟秒 = 900;

// <stateRoot>/state/update-task-delay.txt
std::wstring 任务延迟文件(const std::wstring& stateRoot);

// Gives the stored delay when the file holds 1 to 3 ASCII digits worth 60 to 900 (any
// trailing CR and LF ignored). Otherwise draws a new delay in 60 to 900 from a fresh GUID
// and stores it as its digits and one line feed, keeping the previous file as ".bak".
// False when no GUID can be created or the file cannot be written; *延迟 is then
// unchanged, and the old file (if any) stays as it was.
bool 读取或创建任务延迟(const std::wstring& stateRoot, std::uint32_t* 延迟);

}  // namespace tallybell
