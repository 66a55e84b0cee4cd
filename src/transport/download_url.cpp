#include "transport/download_url.h"

#include "common/text.h"

namespace tallybell {
namespace {

wchar_t 转小写(wchar_t 字符) {
  return 字符 >= L'A' && 字符 <= L'Z' ? static_cast<wchar_t>(字符 - L'A' + L'a') : 字符;
}

bool 以前缀开头(const std::wstring& 文本, const std::wstring& 前缀) {
  if (文本.size() < 前缀.size()) return false;
  for (std::size_t 位置 = 0; 位置 < 前缀.size(); ++位置) {
    if (转小写(文本[位置]) != 转小写(前缀[位置])) return false;
  }
  return true;
}

}  // namespace

bool 下载地址有效(const std::wstring& 地址) {
  if (地址.size() < 9) return false;
  for (const wchar_t 字符 : 地址) {
    if (字符 < 0x21 || 字符 == L'\\') return false;
  }
  if (以前缀开头(地址, L"https://")) return true;
  // Plain HTTP only to the one content host, and only when the host name ends there, so
  // that "http://<host>.attacker.example" is refused.
  const std::wstring 明文前缀 = L"http://" + 逐字节加宽(TALLYBELL_CONTENT_HOST);
  if (!以前缀开头(地址, 明文前缀)) return false;
  if (地址.size() == 明文前缀.size()) return true;
  const wchar_t 后随 = 地址[明文前缀.size()];
  return 后随 == L'/' || 后随 == L'?' || 后随 == L'#';
}

}  // namespace tallybell
