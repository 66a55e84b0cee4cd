// POSIX paths are resolved by text, as GetFullPathNameW does on Windows: links are not
// followed, so the result names the same entry the caller named.
#include "platform/full_path.h"

#include <vector>

namespace tallybell::platform {

bool 规范化绝对路径(const std::wstring& 路径, std::wstring* 输出) {
  if (路径.empty() || 路径[0] != L'/') return false;
  std::vector<std::wstring> 段;
  std::size_t 开始 = 1;
  while (开始 <= 路径.size()) {
    std::size_t 结束 = 路径.find(L'/', 开始);
    if (结束 == std::wstring::npos) 结束 = 路径.size();
    const std::wstring 名称 = 路径.substr(开始, 结束 - 开始);
    if (名称 == L"..") {
      if (!段.empty()) 段.pop_back();  // ".." at the root stays at the root
    } else if (!名称.empty() && 名称 != L".") {
      段.push_back(名称);
    }
    开始 = 结束 + 1;
  }
  std::wstring 结果;
  for (const auto& 名称 : 段) 结果 += L"/" + 名称;
  *输出 = 结果.empty() ? L"/" : 结果;
  return true;
}

}  // namespace tallybell::platform
