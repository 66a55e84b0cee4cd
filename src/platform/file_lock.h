// An exclusive lock on a file inside one of the roots. Unlike a named lock it belongs to the
// root itself, so every process that writes there meets it, whatever session or
// environment started it (flock on POSIX, LockFileEx on Windows; the kernel drops a dead
// holder's lock).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/lock_result.h"

namespace tallybell::platform {

class 文件锁 {
 public:
  文件锁();
  ~文件锁();  // releases the lock if held, then closes
  文件锁(const 文件锁&) = delete;
  文件锁& operator=(const 文件锁&) = delete;

  // Opens the lock file at 路径, creating it (private to the owner) when missing. False when
  // something other than a regular file is there, a link included.
  bool 打开或创建(const std::wstring& 路径);
  // Waits at most 毫秒 (0: just tries once).
  加锁结果 加锁(std::uint32_t 毫秒);
  // Removes the lock file while still holding it, then releases and closes: a run ends its
  // own per-run lock this way. Safe to call when not held (it then only closes).
  void 删除并关闭();
  bool 已持有() const;

 private:
  struct 状态;
  std::unique_ptr<状态> 状态_;
};

}  // namespace tallybell::platform
