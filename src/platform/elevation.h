// Administrative rights and the elevated re-launch of this program.
#pragma once

#include <cstdint>
#include <string>

namespace tallybell::platform {

// True when the process runs with administrative rights; any failure counts as false.
bool 已提升权限();

struct 重新启动结果 {
  bool 已启动 = false;        // false: the child could not be started (see 系统错误)
  bool 有退出码 = false;      // false: the child's exit code could not be read
  std::uint32_t 退出码 = 0;
  std::uint32_t 系统错误 = 0;
};

// Starts this program's own executable elevated with 参数 (a command line of arguments
// quoted by 引用参数), waits without time limit and returns the child's exit code.
// The child's output is not relayed.
重新启动结果 提升权限重新启动(const std::wstring& 参数);

// The two calls above as the commands reach them, so that a test can stand in for the
// token query and for the shell's elevated start (which would ask for consent) and check
// what a command does when the start fails.
struct 提升调用表 {
  bool (*已提升权限)();
  重新启动结果 (*提升权限重新启动)(const std::wstring& 参数);
};

// The table in use. Tests replace entries and put the real ones back afterwards.
提升调用表& 提升调用();

}  // namespace tallybell::platform
