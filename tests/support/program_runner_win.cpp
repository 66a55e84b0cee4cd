#include <windows.h>

#include <filesystem>
#include <string>

#include "common/command_line.h"
#include "common/text.h"
#include "platform/system_info.h"
#include "platform/windows/handles_win.h"
#include "support/program_runner.h"

namespace tallybell::测试 {

using platform::windows::作用域句柄;

std::uint32_t 可观察退出码(std::uint32_t 完整退出码) { return 完整退出码; }

程序结果 运行程序(const std::string& 程序, const std::vector<std::string>& 参数,
                  const std::map<std::string, std::string>& 环境, bool 合并错误输出) {
  程序结果 结果;
  SECURITY_ATTRIBUTES 属性{sizeof 属性, nullptr, TRUE};
  作用域句柄 读端, 写端;
  if (!CreatePipe(读端.接收(), 写端.接收(), &属性, 0)) return 结果;
  SetHandleInformation(读端.get(), HANDLE_FLAG_INHERIT, 0);

  // The programs sit in the build folder, above the test program's folder.
  const auto 路径 = std::filesystem::path(platform::本程序路径()).parent_path().parent_path() / UTF8转宽宽松(程序);
  std::wstring 命令行 = 引用参数(路径.wstring());
  for (const auto& 项 : 参数) 命令行 += L" " + 引用参数(UTF8转宽宽松(项));
  for (const auto& [名, 值] : 环境) SetEnvironmentVariableW(UTF8转宽宽松(名).c_str(), UTF8转宽宽松(值).c_str());

  STARTUPINFOW 启动{};
  启动.cb = sizeof 启动;
  启动.dwFlags = STARTF_USESTDHANDLES;
  启动.hStdOutput = 写端.get();
  启动.hStdError = 合并错误输出 ? 写端.get() : GetStdHandle(STD_ERROR_HANDLE);
  启动.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION 进程{};
  const BOOL 已启动 = CreateProcessW(nullptr, 命令行.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &启动, &进程);
  for (const auto& [名, 值] : 环境) SetEnvironmentVariableW(UTF8转宽宽松(名).c_str(), nullptr);
  if (!已启动) return 结果;
  作用域句柄 进程句柄{进程.hProcess}, 线程句柄{进程.hThread};
  写端.重置();  // the child's copy is the only writer left, so reading ends with the child
  char 缓冲[4096];
  DWORD 已读 = 0;
  while (ReadFile(读端.get(), 缓冲, sizeof 缓冲, &已读, nullptr) && 已读 > 0) 结果.输出.append(缓冲, 已读);
  WaitForSingleObject(进程句柄.get(), INFINITE);
  DWORD 退出码 = 0;
  结果.已运行 = GetExitCodeProcess(进程句柄.get(), &退出码) != 0;
  结果.退出码 = 退出码;
  return 结果;
}

}  // namespace tallybell::测试
