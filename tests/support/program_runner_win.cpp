#include <windows.h>

#include <string>

#include "common/command_line.h"
#include "common/text.h"
#include "support/program_runner.h"

namespace tallybell::测试 {
namespace {

// The programs sit in the build folder, above the test program's folder.
std::wstring 程序路径(const std::string& 名称) {
  std::wstring 缓冲(32768, L'\0');
  const DWORD 长度 = GetModuleFileNameW(nullptr, 缓冲.data(), static_cast<DWORD>(缓冲.size()));
  缓冲.resize(长度);
  const auto 分隔 = 缓冲.find_last_of(L"\\/");
  std::wstring 目录 = 分隔 == std::wstring::npos ? L"." : 缓冲.substr(0, 分隔);
  // tests\tallybell-tests.exe → ..\tallybell-update.exe
  return 目录 + L"\\..\\" + UTF8转宽宽松(名称);
}

struct 句柄 {
  HANDLE 值 = nullptr;
  ~句柄() {
    if (值 != nullptr && 值 != INVALID_HANDLE_VALUE) CloseHandle(值);
  }
};

}  // namespace

std::uint32_t 可观察退出码(std::uint32_t 完整退出码) { return 完整退出码; }

程序结果 运行更新程序(const std::vector<std::string>& 参数, const std::map<std::string, std::string>& 环境) {
  return 运行程序(TALLYBELL_PROGRAM_NAME, 参数, 环境);
}

程序结果 运行程序(const std::string& 程序, const std::vector<std::string>& 参数,
                  const std::map<std::string, std::string>& 环境, bool 合并错误输出) {
  程序结果 结果;
  SECURITY_ATTRIBUTES 属性{sizeof 属性, nullptr, TRUE};
  句柄 读端, 写端;
  if (!CreatePipe(&读端.值, &写端.值, &属性, 0)) return 结果;
  SetHandleInformation(读端.值, HANDLE_FLAG_INHERIT, 0);

  std::wstring 命令行 = 引用参数(程序路径(程序));
  for (const auto& 项 : 参数) 命令行 += L" " + 引用参数(UTF8转宽宽松(项));
  for (const auto& [名, 值] : 环境) SetEnvironmentVariableW(UTF8转宽宽松(名).c_str(), UTF8转宽宽松(值).c_str());

  STARTUPINFOW 启动{};
  启动.cb = sizeof 启动;
  启动.dwFlags = STARTF_USESTDHANDLES;
  启动.hStdOutput = 写端.值;
  启动.hStdError = 合并错误输出 ? 写端.值 : GetStdHandle(STD_ERROR_HANDLE);
  启动.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION 进程{};
  const BOOL 已启动 = CreateProcessW(nullptr, 命令行.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &启动, &进程);
  for (const auto& [名, 值] : 环境) SetEnvironmentVariableW(UTF8转宽宽松(名).c_str(), nullptr);
  if (!已启动) return 结果;
  句柄 进程句柄{进程.hProcess}, 线程句柄{进程.hThread};
  CloseHandle(写端.值);
  写端.值 = nullptr;
  char 缓冲[4096];
  DWORD 已读 = 0;
  while (ReadFile(读端.值, 缓冲, sizeof 缓冲, &已读, nullptr) && 已读 > 0) 结果.输出.append(缓冲, 已读);
  WaitForSingleObject(进程句柄.值, INFINITE);
  DWORD 退出码 = 0;
  结果.已运行 = GetExitCodeProcess(进程句柄.值, &退出码) != 0;
  结果.退出码 = 退出码;
  return 结果;
}

}  // namespace tallybell::测试
