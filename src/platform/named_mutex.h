// A mutex shared by the processes of one user session, known by name ("Local\" + name on
// Windows; a lock file in the per-user directory on POSIX).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/lock_result.h"

namespace tallybell::platform {

class 命名互斥体 {
 public:
  命名互斥体();
  ~命名互斥体();  // releases the lock if held, then closes
  命名互斥体(const 命名互斥体&) = delete;
  命名互斥体& operator=(const 命名互斥体&) = delete;

  // Opens the mutex, creating it when no process has it yet. False when the name cannot
  // be used (for example the per-user directory is unsafe).
  bool 打开或创建(const std::wstring& 名称);
  // Waits at most 毫秒 (0: just tries once).
  加锁结果 加锁(std::uint32_t 毫秒);
  void 解锁();
  bool 已持有() const;

 private:
  struct 状态;
  std::unique_ptr<状态> 状态_;
};

}  // namespace tallybell::platform
