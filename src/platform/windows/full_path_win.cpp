#include "platform/full_path.h"

#include <windows.h>

#include <vector>

namespace tallybell::platform {

bool 规范化绝对路径(const std::wstring& 路径, std::wstring* 输出) {
  // The first call reports the size the result needs, including its terminator.
  const DWORD 需要 = ::GetFullPathNameW(路径.c_str(), 0, nullptr, nullptr);
  if (需要 == 0) return false;
  std::vector<wchar_t> 缓冲(需要);
  const DWORD 长度 = ::GetFullPathNameW(路径.c_str(), 需要, 缓冲.data(), nullptr);
  if (长度 == 0 || 长度 >= 需要) return false;
  输出->assign(缓冲.data(), 长度);
  return true;
}

}  // namespace tallybell::platform
