// One wait on a named mutex or semaphore, as the lock's caller sees it.
#pragma once

#include <windows.h>

#include <cstdint>

#include "platform/lock_result.h"
#include "platform/lock_rules.h"

namespace tallybell::platform::windows {

// A mutex whose holder died without releasing it is handed over (WAIT_ABANDONED) like a
// released one: what it guards is checked by its users, and a dead holder must never
// block every later run. A semaphore never reports it.
inline 加锁结果 等待锁对象(HANDLE 对象, std::uint32_t 毫秒) {
  switch (::WaitForSingleObject(对象, 有界等待毫秒(毫秒))) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED:
      return 加锁结果::取得;
    case WAIT_TIMEOUT:
      return 加锁结果::超时;
    default:
      return 加锁结果::错误;
  }
}

}  // namespace tallybell::platform::windows
