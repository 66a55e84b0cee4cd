// The four commands. Each takes the parsed command line and returns the exit code.
#pragma once

#include <cstdint>

#include "app/arguments.h"

namespace tallybell {

std::uint32_t 运行离线准备命令(const 命令行参数& 命令);
std::uint32_t 运行后台检查命令(const 命令行参数& 命令);
std::uint32_t 运行任务修复命令(const 命令行参数& 命令);
std::uint32_t 运行结果回报命令(const 命令行参数& 命令);

}  // namespace tallybell
