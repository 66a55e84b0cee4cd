#include "common/guid_text.h"

namespace tallybell {
namespace {

void 追加十六进制(std::uint64_t 值, int 位数, std::wstring* 输出) {
  static constexpr wchar_t 数字[] = L"0123456789ABCDEF";
  for (int i = 位数 - 1; i >= 0; --i) 输出->push_back(数字[(值 >> (4 * i)) & 0xF]);
}

}  // namespace

std::wstring GUID注册表形式(const GUID值& 值) {
  std::wstring 文本 = L"{";
  追加十六进制(值.数据1, 8, &文本);
  文本 += L'-';
  追加十六进制(值.数据2, 4, &文本);
  文本 += L'-';
  追加十六进制(值.数据3, 4, &文本);
  文本 += L'-';
  追加十六进制(值.数据4[0], 2, &文本);
  追加十六进制(值.数据4[1], 2, &文本);
  文本 += L'-';
  for (int i = 2; i < 8; ++i) 追加十六进制(值.数据4[i], 2, &文本);
  文本 += L'}';
  return 文本;
}

}  // namespace tallybell
