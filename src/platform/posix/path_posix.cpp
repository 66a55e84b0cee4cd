#include "platform/posix/path_posix.h"

#include "common/text.h"

namespace tallybell::platform {
namespace {

constexpr wchar_t 字节代理基 = 0xDC00;

// The length a UTF-8 sequence starting with 首 would have; 0 for a byte no sequence starts
// with.
std::size_t 序列长度(unsigned char 首) {
  if (首 < 0x80) return 1;
  if (首 >= 0xC2 && 首 <= 0xDF) return 2;
  if (首 >= 0xE0 && 首 <= 0xEF) return 3;
  if (首 >= 0xF0 && 首 <= 0xF4) return 4;
  return 0;
}

}  // namespace

std::wstring POSIX字节转宽(const std::string& 字节) {
  std::wstring 结果;
  for (std::size_t i = 0; i < 字节.size();) {
    const auto 首 = static_cast<unsigned char>(字节[i]);
    const std::size_t 长度 = 序列长度(首);
    std::wstring 字符;
    if (长度 != 0 && i + 长度 <= 字节.size() && UTF8转宽(字节.substr(i, 长度), &字符)) {
      结果 += 字符;
      i += 长度;
    } else {
      结果.push_back(static_cast<wchar_t>(字节代理基 + 首));
      ++i;
    }
  }
  return 结果;
}

bool 宽转POSIX字节(const std::wstring& 文本, std::string* 输出) {
  std::string 结果;
  for (const wchar_t 字符 : 文本) {
    const auto 值 = static_cast<std::uint32_t>(字符);
    if (值 >= 字节代理基 + 0x80 && 值 <= 字节代理基 + 0xFF) {
      结果.push_back(static_cast<char>(值 - 字节代理基));
      continue;
    }
    std::string 片段;
    if (!宽转UTF8(std::wstring(1, 字符), &片段)) {
      输出->clear();
      return false;
    }
    结果 += 片段;
  }
  *输出 = std::move(结果);
  return true;
}

}  // namespace tallybell::platform
