// A counting semaphore shared by the processes of one user session, known by name
// ("Local\" + name on Windows; one lock file per slot in the per-user directory on POSIX).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/lock_result.h"

namespace tallybell::platform {

class 命名信号量 {
 public:
  命名信号量();
  ~命名信号量();  // gives back a held slot, then closes
  命名信号量(const 命名信号量&) = delete;
  命名信号量& operator=(const 命名信号量&) = delete;

  // Opens the semaphore with 名额数 slots (1 to 64), creating it with all slots free when
  // no process has it yet. Every process must use the same count for the same name. False
  // when the name or count cannot be used (for example the per-user directory is unsafe).
  bool 打开或创建(const std::wstring& 名称, std::uint32_t 名额数);
  // Takes one slot, waiting at most 毫秒 (0: just tries once). A slot held by a process
  // that died is free again on POSIX; on Windows it stays taken until every process has
  // closed the semaphore.
  加锁结果 取得名额(std::uint32_t 毫秒);
  void 归还名额();
  bool 已持有() const;

 private:
  struct 状态;
  std::unique_ptr<状态> 状态_;
};

}  // namespace tallybell::platform
