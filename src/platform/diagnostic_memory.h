// The shared memory and lock of the diagnostic channel. The application creates both;
// the update core only opens them, so nothing here ever creates a channel.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/lock_result.h"

namespace tallybell::platform {

// Bytes mapped from the start of the channel: an 8-byte header and 512 KiB of text.
inline constexpr std::uint32_t 诊断视图字节数 = 524296;

class 诊断共享内存 {
 public:
  诊断共享内存();
  ~诊断共享内存();
  诊断共享内存(const 诊断共享内存&) = delete;
  诊断共享内存& operator=(const 诊断共享内存&) = delete;

  // Opens the mapping and its lock named after the channel id (already validated by the
  // caller) and maps the view only when both opened. Either may stay absent.
  void 打开(const std::string& 标识);
  bool 有映射() const;
  bool 有锁() const;
  // The mapped view of 诊断视图字节数 bytes, or null.
  unsigned char* 视图() const;

  // Waits at most 毫秒 for the lock; a lock abandoned by a dead owner counts as taken.
  加锁结果 加锁(std::uint32_t 毫秒);
  void 解锁();
  // Unmaps the view, closes the lock, closes the mapping (each if present).
  void 关闭();

 private:
  struct 状态;
  std::unique_ptr<状态> 状态_;
};

// The full name of the mapping for a channel id, as the creating application uses it
// ("Local\Tallybell.UpdateDiagnostic.<id>" on Windows, a file path on POSIX).
std::wstring 诊断映射名称(const std::string& 标识);

}  // namespace tallybell::platform
