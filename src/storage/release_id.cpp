#include "storage/release_id.h"

namespace tallybell {

bool 发布标识有效(const std::wstring& 标识) {
  if (标识.empty() || 标识.size() > 64 || 标识 == L"." || 标识 == L"..") return false;
  for (wchar_t 字符 : 标识) {
    const bool 允许 = (字符 >= L'0' && 字符 <= L'9') || (字符 >= L'a' && 字符 <= L'z') ||
                      (字符 >= L'A' && 字符 <= L'Z') || 字符 == L'-' || 字符 == L'.' || 字符 == L'_';
    if (!允许) return false;
  }
  return true;
}

}  // namespace tallybell
