#include "common/text.h"

namespace tallybell {
namespace {

constexpr char32_t 替换字符 = 0xFFFD;

bool 是代理(char32_t 值) { return 值 >= 0xD800 && 值 <= 0xDFFF; }

void 追加UTF8(char32_t 码点, std::string* 输出) {
  if (码点 < 0x80) {
    输出->push_back(static_cast<char>(码点));
  } else if (码点 < 0x800) {
    输出->push_back(static_cast<char>(0xC0 | (码点 >> 6)));
    输出->push_back(static_cast<char>(0x80 | (码点 & 0x3F)));
  } else if (码点 < 0x10000) {
    输出->push_back(static_cast<char>(0xE0 | (码点 >> 12)));
    输出->push_back(static_cast<char>(0x80 | ((码点 >> 6) & 0x3F)));
    输出->push_back(static_cast<char>(0x80 | (码点 & 0x3F)));
  } else {
    输出->push_back(static_cast<char>(0xF0 | (码点 >> 18)));
    输出->push_back(static_cast<char>(0x80 | ((码点 >> 12) & 0x3F)));
    输出->push_back(static_cast<char>(0x80 | ((码点 >> 6) & 0x3F)));
    输出->push_back(static_cast<char>(0x80 | (码点 & 0x3F)));
  }
}

void 追加宽(char32_t 码点, std::wstring* 输出) {
  if constexpr (sizeof(wchar_t) == 2) {
    if (码点 >= 0x10000) {
      码点 -= 0x10000;
      输出->push_back(static_cast<wchar_t>(0xD800 + (码点 >> 10)));
      输出->push_back(static_cast<wchar_t>(0xDC00 + (码点 & 0x3FF)));
      return;
    }
  }
  输出->push_back(static_cast<wchar_t>(码点));
}

// Reads the code point at *位置 and advances; false on an unpaired surrogate or a value
// beyond Unicode.
bool 读宽码点(const std::wstring& 文本, std::size_t* 位置, char32_t* 码点) {
  char32_t 值 = static_cast<char32_t>(文本[*位置]);
  if constexpr (sizeof(wchar_t) == 2) {
    值 &= 0xFFFF;
    if (值 >= 0xD800 && 值 <= 0xDBFF && *位置 + 1 < 文本.size()) {
      char32_t 低 = static_cast<char32_t>(文本[*位置 + 1]) & 0xFFFF;
      if (低 >= 0xDC00 && 低 <= 0xDFFF) {
        *码点 = 0x10000 + ((值 - 0xD800) << 10) + (低 - 0xDC00);
        *位置 += 2;
        return true;
      }
    }
  }
  *位置 += 1;
  *码点 = 值;
  return !是代理(值) && 值 <= 0x10FFFF;
}

// Decodes one well-formed UTF-8 sequence at *位置 and advances past it; on failure
// advances by one byte and returns false.
bool 读UTF8码点(const std::string& 文本, std::size_t* 位置, char32_t* 码点) {
  const auto 字节 = [&](std::size_t i) { return static_cast<unsigned char>(文本[i]); };
  const std::size_t 起点 = *位置;
  const unsigned char 首 = 字节(起点);
  *位置 = 起点 + 1;
  if (首 < 0x80) {
    *码点 = 首;
    return true;
  }
  std::size_t 长度 = 0;
  char32_t 值 = 0;
  char32_t 最小 = 0;
  if (首 >= 0xC2 && 首 <= 0xDF) {
    长度 = 2; 值 = 首 & 0x1F; 最小 = 0x80;
  } else if (首 >= 0xE0 && 首 <= 0xEF) {
    长度 = 3; 值 = 首 & 0x0F; 最小 = 0x800;
  } else if (首 >= 0xF0 && 首 <= 0xF4) {
    长度 = 4; 值 = 首 & 0x07; 最小 = 0x10000;
  } else {
    return false;
  }
  if (起点 + 长度 > 文本.size()) return false;
  for (std::size_t i = 1; i < 长度; ++i) {
    const unsigned char 续 = 字节(起点 + i);
    if ((续 & 0xC0) != 0x80) return false;
    值 = (值 << 6) | (续 & 0x3F);
  }
  if (值 < 最小 || 值 > 0x10FFFF || 是代理(值)) return false;
  *位置 = 起点 + 长度;
  *码点 = 值;
  return true;
}

}  // namespace

bool 宽转UTF8(const std::wstring& 文本, std::string* 输出) {
  std::string 结果;
  结果.reserve(文本.size());
  for (std::size_t i = 0; i < 文本.size();) {
    char32_t 码点 = 0;
    if (!读宽码点(文本, &i, &码点)) {
      输出->clear();
      return false;
    }
    追加UTF8(码点, &结果);
  }
  *输出 = std::move(结果);
  return true;
}

bool UTF8转宽(const std::string& 文本, std::wstring* 输出) {
  std::wstring 结果;
  结果.reserve(文本.size());
  for (std::size_t i = 0; i < 文本.size();) {
    char32_t 码点 = 0;
    if (!读UTF8码点(文本, &i, &码点)) {
      输出->clear();
      return false;
    }
    追加宽(码点, &结果);
  }
  *输出 = std::move(结果);
  return true;
}

std::string 宽转UTF8宽松(const std::wstring& 文本) {
  std::string 结果;
  for (std::size_t i = 0; i < 文本.size();) {
    char32_t 码点 = 0;
    追加UTF8(读宽码点(文本, &i, &码点) ? 码点 : 替换字符, &结果);
  }
  return 结果;
}

std::wstring UTF8转宽宽松(const std::string& 文本) {
  std::wstring 结果;
  for (std::size_t i = 0; i < 文本.size();) {
    char32_t 码点 = 0;
    追加宽(读UTF8码点(文本, &i, &码点) ? 码点 : 替换字符, &结果);
  }
  return 结果;
}

std::wstring 逐字节加宽(const std::string& 文本) {
  std::wstring 结果;
  结果.reserve(文本.size());
  for (unsigned char 字节 : 文本) 结果.push_back(static_cast<wchar_t>(字节));
  return 结果;
}

std::string 十进制(std::uint64_t 值) {
  char 缓冲[21];
  std::size_t 位置 = sizeof 缓冲;
  do {
    缓冲[--位置] = static_cast<char>('0' + 值 % 10);
    值 /= 10;
  } while (值 != 0);
  return std::string(缓冲 + 位置, sizeof 缓冲 - 位置);
}

std::wstring 十进制宽(std::uint64_t 值) { return 逐字节加宽(十进制(值)); }

}  // namespace tallybell
