// The entry point's work: pick the one command and return its exit code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tallybell {

// 参数 is the whole argument vector including the program name at index 0 (which may be
// absent). Returns the process exit code.
std::uint32_t 程序入口(const std::vector<std::wstring>& 参数);

}  // namespace tallybell
