#include "platform/windows/long_path_win.h"

#include "platform/full_path.h"

namespace tallybell::platform::windows {
namespace {

bool 以此开头(const std::wstring& 文本, const wchar_t* 前缀) { return 文本.rfind(前缀, 0) == 0; }

bool 已是扩展或设备形式(const std::wstring& 路径) {
  return 以此开头(路径, L"\\\\?\\") || 以此开头(路径, L"\\\\.\\") || 以此开头(路径, L"\\??\\");
}

}  // namespace

std::wstring 长路径形式(const std::wstring& 路径) {
  if (路径.empty() || 已是扩展或设备形式(路径)) return 路径;
  std::wstring 完整;
  if (!规范化绝对路径(路径, &完整)) return 路径;
  // A device name such as NUL resolves to "\\.\NUL" and stays a device path.
  if (已是扩展或设备形式(完整)) return 完整;
  if (以此开头(完整, L"\\\\")) return L"\\\\?\\UNC\\" + 完整.substr(2);
  return L"\\\\?\\" + 完整;
}

}  // namespace tallybell::platform::windows
