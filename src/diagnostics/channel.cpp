#include "diagnostics/channel.h"

#include <cstring>

namespace tallybell {
namespace {

constexpr std::size_t 已用偏移 = 0;
constexpr std::size_t 截断偏移 = 4;
constexpr std::size_t 文本偏移 = 8;
constexpr std::size_t 标识最大长度 = 64;

// The header is read and written byte by byte: the creator's layout is little-endian
// whatever this machine is, and the view gives no alignment guarantee we rely on.
std::uint32_t 读u32(const unsigned char* 位置) {
  return static_cast<std::uint32_t>(位置[0]) | static_cast<std::uint32_t>(位置[1]) << 8 |
         static_cast<std::uint32_t>(位置[2]) << 16 | static_cast<std::uint32_t>(位置[3]) << 24;
}

void 写u32(unsigned char* 位置, std::uint32_t 值) {
  for (int i = 0; i < 4; ++i) 位置[i] = static_cast<unsigned char>(值 >> (8 * i));
}

bool 是续字节(unsigned char 字节) { return (字节 & 0xC0) == 0x80; }

bool 是标识字符(char 字符) {
  return (字符 >= '0' && 字符 <= '9') || (字符 >= 'a' && 字符 <= 'z') ||
         (字符 >= 'A' && 字符 <= 'Z') || 字符 == '-';
}

// Text shorter than the capacity: drop just enough of the oldest text, moving the cut
// forward to the next character boundary, then append.
void 追加较短文本(unsigned char* 视图, std::uint32_t 已用, const char* 文本, std::size_t 长度) {
  unsigned char* 缓冲 = 视图 + 文本偏移;
  if (长度 > 诊断文本容量 - 已用) {
    std::uint32_t 切点 = static_cast<std::uint32_t>(已用 + 长度 - 诊断文本容量);
    while (切点 < 已用 && 是续字节(缓冲[切点])) ++切点;
    std::memmove(缓冲, 缓冲 + 切点, 已用 - 切点);
    已用 -= 切点;
    写u32(视图 + 截断偏移, 1);
  }
  if (长度 != 0) std::memcpy(缓冲 + 已用, 文本, 长度);
  写u32(视图 + 已用偏移, 已用 + static_cast<std::uint32_t>(长度));
}

// Text of the capacity or longer: only its newest part fits, starting at a character
// boundary.
void 追加整段文本(unsigned char* 视图, std::uint32_t 已用, const char* 文本, std::size_t 长度) {
  const auto* 字节 = reinterpret_cast<const unsigned char*>(文本);
  std::size_t 跳过 = 长度 - 诊断文本容量;
  while (跳过 < 长度 && 是续字节(字节[跳过])) ++跳过;
  if (已用 != 0 || 跳过 != 0) 写u32(视图 + 截断偏移, 1);
  std::memcpy(视图 + 文本偏移, 字节 + 跳过, 长度 - 跳过);
  写u32(视图 + 已用偏移, static_cast<std::uint32_t>(长度 - 跳过));
}

}  // namespace

bool 诊断标识有效(const std::string& 标识) {
  if (标识.empty() || 标识.size() > 标识最大长度) return false;
  for (char 字符 : 标识) {
    if (!是标识字符(字符)) return false;
  }
  return true;
}

bool 追加到诊断视图(unsigned char* 视图, const char* 文本, std::size_t 长度) {
  if (视图 == nullptr || (文本 == nullptr && 长度 != 0)) return false;
  const std::uint32_t 已用 = 读u32(视图 + 已用偏移);
  if (已用 > 诊断文本容量) return false;
  if (长度 < 诊断文本容量) {
    追加较短文本(视图, 已用, 文本, 长度);
  } else {
    追加整段文本(视图, 已用, 文本, 长度);
  }
  return true;
}

bool 诊断通道::打开(const std::string& 标识) {
  关闭();
  if (!诊断标识有效(标识)) return false;
  内存_.打开(标识);
  return 有视图();
}

bool 诊断通道::有视图() const { return 内存_.视图() != nullptr; }

bool 诊断通道::追加(const std::string& 文本) {
  if (!内存_.有锁()) return false;
  if (内存_.加锁(诊断加锁毫秒) != platform::加锁结果::取得) return false;
  const bool 已写 = 追加到诊断视图(内存_.视图(), 文本.data(), 文本.size());
  内存_.解锁();
  return 已写;
}

void 诊断通道::关闭() { 内存_.关闭(); }

}  // namespace tallybell
