#include "app/elevation_decision.h"

#include "common/command_line.h"

namespace tallybell {
namespace {

wchar_t 折叠大小写(wchar_t 字符) {
  return 字符 >= L'a' && 字符 <= L'z' ? static_cast<wchar_t>(字符 - L'a' + L'A') : 字符;
}

bool 是分隔符(wchar_t 字符) { return 字符 == L'\\' || 字符 == L'/'; }

}  // namespace

bool 程序根需要提升权限(const std::wstring& 程序根, const std::wstring& 程序文件夹) {
  if (程序根.empty() || 程序文件夹.empty()) return false;
  std::wstring 前缀 = 程序文件夹;
  // "C:\" keeps its separator; longer folders lose their trailing ones.
  while (前缀.size() > 3 && 是分隔符(前缀.back())) 前缀.pop_back();
  if (程序根.size() < 前缀.size()) return false;
  for (std::size_t i = 0; i < 前缀.size(); ++i) {
    if (折叠大小写(程序根[i]) != 折叠大小写(前缀[i])) return false;
  }
  return 程序根.size() == 前缀.size() || 是分隔符(程序根[前缀.size()]) || 是分隔符(前缀.back());
}

std::wstring 提升权限参数(const std::vector<std::wstring>& 参数, const std::wstring& 标志) {
  std::wstring 结果;
  for (const auto& 项 : 参数) {
    if (项 == 标志) continue;
    结果 += 引用参数(项) + L" ";
  }
  return 结果 + 标志;
}

}  // namespace tallybell
