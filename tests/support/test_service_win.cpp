// Under Wine the Windows test program starts the service as the Unix process it is. Wine
// hands such a process neither pipes nor a process handle, so the service writes its port
// to <control dir>/ready and ends once the control directory is gone (--lease). Its
// certificates come from the run's CA, which scripts/run-windows-tests.sh made the prefix
// trust, so WinHTTP takes the machine's trust as it would on Windows.
#include <windows.h>

#include "common/command_line.h"
#include "common/text.h"
#include "support/environment_guard.h"
#include "support/test_service.h"

namespace tallybell::测试 {
namespace {

// Wine's own export: the Unix path of a Windows path, allocated on the process heap.
std::string Unix路径(const std::filesystem::path& 路径) {
  using 转换函数 = char*(__cdecl*)(const wchar_t*);
  FARPROC 地址 = ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name");
  if (地址 == nullptr) return {};
  char* 结果 = reinterpret_cast<转换函数>(reinterpret_cast<void (*)()>(地址))(路径.wstring().c_str());
  if (结果 == nullptr) return {};
  std::string 文本 = 结果;
  ::HeapFree(::GetProcessHeap(), 0, 结果);
  return 文本;
}

}  // namespace

bool 启动服务进程(const std::vector<std::string>& 参数, const std::filesystem::path& 控制目录,
                  std::shared_ptr<void>*) {
  const std::string 目录 = Unix路径(控制目录);
  if (目录.empty()) return false;
  std::wstring 命令行 = L"/usr/bin/python3";
  for (const auto& 项 : 参数) 命令行 += L" " + 引用参数(UTF8转宽宽松(项));
  命令行 += L" --lease --control-dir " + 引用参数(UTF8转宽宽松(目录));
  STARTUPINFOW 启动信息{};
  启动信息.cb = sizeof 启动信息;
  PROCESS_INFORMATION 进程信息{};
  if (!::CreateProcessW(nullptr, 命令行.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &启动信息, &进程信息)) {
    return false;
  }
  ::CloseHandle(进程信息.hThread);
  ::CloseHandle(进程信息.hProcess);
  return true;
}

std::string 网络测试不可运行原因() {
  if (::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") == nullptr) {
    return "needs Wine: the loopback service is a Unix program";
  }
  if (!读环境变量("TALLYBELL_TEST_CA_DIR")) {
    return "needs TALLYBELL_TEST_CA_DIR, a CA the prefix trusts (scripts/run-windows-tests.sh sets it)";
  }
  return {};
}

}  // namespace tallybell::测试
