// Conversions between wide strings and UTF-8. Wide strings hold UTF-16 where wchar_t has
// 16 bits and code points where it has 32; in both, a lone value in U+D800..U+DFFF is an
// unpaired surrogate.
#pragma once

#include <cstdint>
#include <string>

namespace tallybell {

// Strict: false (and *输出 cleared) on an unpaired surrogate or a value above U+10FFFF.
bool 宽转UTF8(const std::wstring& 文本, std::string* 输出);
// Strict: false (and *输出 cleared) on any byte sequence that is not well-formed UTF-8
// (overlong forms, surrogates and values above U+10FFFF included).
bool UTF8转宽(const std::string& 文本, std::wstring* 输出);
// Lenient: unpaired surrogates become U+FFFD. Used for diagnostic ids and detail texts.
std::string 宽转UTF8宽松(const std::wstring& 文本);
// Lenient: each invalid byte becomes U+FFFD. Used for POSIX command-line arguments.
std::wstring UTF8转宽宽松(const std::string& 文本);

// Widens ASCII (or any bytes) one byte to one wide character.
std::wstring 逐字节加宽(const std::string& 文本);

// Decimal text without sign, leading zeros or grouping.
std::string 十进制(std::uint64_t 值);
std::wstring 十进制宽(std::uint64_t 值);

}  // namespace tallybell
