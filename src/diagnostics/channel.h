// The diagnostic channel: a shared text buffer that the launching application creates
// and reads. The update core only opens it, appends whole lines and closes it.
//
// Layout of the view: u32 little-endian "used" (text bytes, at most 诊断文本容量),
// u32 little-endian "truncated" (set to 1 whenever older text is dropped, never
// cleared), then 诊断文本容量 bytes of UTF-8 text, oldest first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/diagnostic_memory.h"

namespace tallybell {

inline constexpr std::uint32_t 诊断文本容量 = 524288;
inline constexpr std::uint32_t 诊断加锁毫秒 = 200;

// 1 to 64 bytes, each an ASCII digit, an ASCII letter or '-'.
bool 诊断标识有效(const std::string& 标识);

// Appends 长度 bytes to a view laid out as above; the caller holds the channel's lock.
// Keeps the newest text, drops the oldest as needed and never lets the buffer begin in
// the middle of a UTF-8 sequence. False, with the view untouched, when 视图 is null or
// its used count exceeds the capacity (a corrupt header).
bool 追加到诊断视图(unsigned char* 视图, const char* 文本, std::size_t 长度);

class 诊断通道 {
 public:
  诊断通道() = default;
  ~诊断通道() = default;
  诊断通道(const 诊断通道&) = delete;
  诊断通道& operator=(const 诊断通道&) = delete;

  // Opens the channel of 标识. An invalid id opens nothing; otherwise the mapping and
  // the lock are opened when they exist, and the view is mapped only when both are.
  // Returns whether the view is mapped.
  bool 打开(const std::string& 标识);
  bool 有视图() const;
  // Appends 文本 as one unit under the lock (bounded wait). False when the lock cannot
  // be taken in time, the view is absent or the header is corrupt; nothing is written
  // then.
  bool 追加(const std::string& 文本);
  // Unmaps the view, closes the lock, closes the mapping (each if open).
  void 关闭();

 private:
  platform::诊断共享内存 内存_;
};

}  // namespace tallybell
