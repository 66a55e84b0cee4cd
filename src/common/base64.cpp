#include "common/base64.h"

#include <cstddef>
#include <cstdint>

namespace tallybell {
namespace {

constexpr char 字母表[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int 字符值(char 字符) {
  if (字符 >= 'A' && 字符 <= 'Z') return 字符 - 'A';
  if (字符 >= 'a' && 字符 <= 'z') return 字符 - 'a' + 26;
  if (字符 >= '0' && 字符 <= '9') return 字符 - '0' + 52;
  if (字符 == '+') return 62;
  if (字符 == '/') return 63;
  return -1;
}

}  // namespace

std::string Base64编码(const std::vector<unsigned char>& 数据) {
  std::string 文本;
  文本.reserve((数据.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < 数据.size(); i += 3) {
    const std::size_t 剩余 = 数据.size() - i;
    std::uint32_t 组 = static_cast<std::uint32_t>(数据[i]) << 16;
    if (剩余 > 1) 组 |= static_cast<std::uint32_t>(数据[i + 1]) << 8;
    if (剩余 > 2) 组 |= 数据[i + 2];
    文本 += 字母表[(组 >> 18) & 63];
    文本 += 字母表[(组 >> 12) & 63];
    文本 += 剩余 > 1 ? 字母表[(组 >> 6) & 63] : '=';
    文本 += 剩余 > 2 ? 字母表[组 & 63] : '=';
  }
  return 文本;
}

bool Base64解码(const std::string& 文本, std::vector<unsigned char>* 输出) {
  输出->clear();
  if (文本.size() % 4 != 0) return false;
  std::vector<unsigned char> 结果;
  结果.reserve(文本.size() / 4 * 3);
  for (std::size_t i = 0; i < 文本.size(); i += 4) {
    const bool 末组 = i + 4 == 文本.size();
    const std::size_t 填充 = 末组 ? (文本[i + 3] == '=') + (文本[i + 2] == '=' && 文本[i + 3] == '=') : 0;
    std::uint32_t 组 = 0;
    for (std::size_t j = 0; j < 4; ++j) {
      const int 值 = j < 4 - 填充 ? 字符值(文本[i + j]) : 0;
      if (值 < 0) return false;
      组 = (组 << 6) | static_cast<std::uint32_t>(值);
    }
    // Bits that no output byte takes must be zero: otherwise two texts mean one value.
    if ((填充 == 1 && (组 & 0xFF) != 0) || (填充 == 2 && (组 & 0xFFFF) != 0)) return false;
    结果.push_back(static_cast<unsigned char>(组 >> 16));
    if (填充 < 2) 结果.push_back(static_cast<unsigned char>(组 >> 8));
    if (填充 < 1) 结果.push_back(static_cast<unsigned char>(组));
  }
  *输出 = std::move(结果);
  return true;
}

}  // namespace tallybell
