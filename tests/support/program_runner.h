// Runs the built update program as a child process, as the launcher or an operator would.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tallybell::测试 {

struct 程序结果 {
  bool 已运行 = false;
  std::uint32_t 退出码 = 0;  // the full code on Windows; the low 8 bits on POSIX
  std::string 输出;          // everything written to standard output
};

// Starts 程序 with the arguments (UTF-8), extra environment variables set on top of the
// current environment, and waits for it to end. 程序 is a program of the build: its path on
// POSIX, its file name in the build folder on Windows. With 合并错误输出 its standard error
// goes into 输出 as well.
程序结果 运行程序(const std::string& 程序, const std::vector<std::string>& 参数,
                  const std::map<std::string, std::string>& 环境 = {}, bool 合并错误输出 = false);

// The update program, as the launcher or an operator would run it.
inline 程序结果 运行更新程序(const std::vector<std::string>& 参数, const std::map<std::string, std::string>& 环境 = {}) {
  return 运行程序(TALLYBELL_PROGRAM_PATH, 参数, 环境);
}

// The exit code as the test can observe it: the full code where the platform keeps it,
// otherwise the low 8 bits the kernel keeps.
std::uint32_t 可观察退出码(std::uint32_t 完整退出码);

}  // namespace tallybell::测试
