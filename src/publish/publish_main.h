// The publishing tool's work behind its entry point.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tallybell {

// 参数 is the whole argument vector including the program name at index 0 (which may be
// absent). Returns the process exit code (see the help text).
std::uint32_t 发布工具入口(const std::vector<std::wstring>& 参数);

}  // namespace tallybell
