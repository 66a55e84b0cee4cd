#include "platform/elevation.h"

#include <windows.h>
#include <shellapi.h>

#include "platform/system_info.h"
#include "platform/windows/handles_win.h"

namespace tallybell::platform {

using windows::COM初始化;
using windows::作用域句柄;

bool 已提升权限() {
  作用域句柄 令牌;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, 令牌.接收())) return false;
  TOKEN_ELEVATION 提升{};
  DWORD 长度 = 0;
  if (!::GetTokenInformation(令牌.get(), TokenElevation, &提升, sizeof 提升, &长度)) return false;
  return 提升.TokenIsElevated != 0;
}

namespace {

// Asks the shell to start 程序 elevated. The apartment it may need lives only as long as
// this call: the caller then waits for the child without limit, and a single-threaded
// apartment kept through that wait would stop pumping messages for its whole length.
作用域句柄 启动提升进程(const std::wstring& 程序, const std::wstring& 参数, 重新启动结果* 结果) {
  // The shell may hand "runas" to extensions that expect an apartment on this thread.
  COM初始化 com;
  SHELLEXECUTEINFOW 信息{};
  信息.cbSize = sizeof 信息;
  // NOASYNC: the call returns only once the start has finished, so nothing is left
  // running in the shell when the process exits. FLAG_NO_UI: a windowless updater must
  // never stop on an error box that nobody sees.
  信息.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  信息.lpVerb = L"runas";
  信息.lpFile = 程序.c_str();
  信息.lpParameters = 参数.c_str();
  信息.lpDirectory = nullptr;
  信息.nShow = SW_HIDE;
  if (!::ShellExecuteExW(&信息)) {
    结果->系统错误 = ::GetLastError();
    return 作用域句柄();
  }
  结果->已启动 = true;
  return 作用域句柄(信息.hProcess);
}

}  // namespace

重新启动结果 提升权限重新启动(const std::wstring& 参数) {
  重新启动结果 结果;
  const std::wstring 程序 = 本程序路径();
  if (程序.empty()) {
    // An empty file name would make the shell open something else entirely.
    结果.系统错误 = ERROR_FILE_NOT_FOUND;
    return 结果;
  }
  const 作用域句柄 进程 = 启动提升进程(程序, 参数, &结果);
  if (!进程) return 结果;
  DWORD 退出码 = 0;
  if (::WaitForSingleObject(进程.get(), INFINITE) != WAIT_OBJECT_0) return 结果;
  if (!::GetExitCodeProcess(进程.get(), &退出码)) return 结果;
  结果.有退出码 = true;
  结果.退出码 = 退出码;
  return 结果;
}

}  // namespace tallybell::platform
