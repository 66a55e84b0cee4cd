#include "platform/posix/flock_wait_posix.h"

#include <sys/file.h>
#include <time.h>

#include <cerrno>

#include "platform/clock.h"
#include "platform/lock_rules.h"

namespace tallybell::platform {

加锁结果 等待独占flock(const std::vector<int>& 描述符, std::uint32_t 毫秒, std::size_t* 取得序号) {
  if (描述符.empty()) return 加锁结果::错误;
  const std::uint64_t 截止 = 毫秒计时() + 有界等待毫秒(毫秒);
  for (;;) {
    for (std::size_t 序号 = 0; 序号 < 描述符.size(); ++序号) {
      if (::flock(描述符[序号], LOCK_EX | LOCK_NB) == 0) {
        *取得序号 = 序号;
        return 加锁结果::取得;
      }
      if (errno != EWOULDBLOCK && errno != EINTR) return 加锁结果::错误;
    }
    if (毫秒计时() >= 截止) return 加锁结果::超时;
    // flock has no timed wait; a short poll keeps the bound without a helper thread.
    const timespec 间隔{0, 2 * 1000 * 1000};
    ::nanosleep(&间隔, nullptr);
  }
}

}  // namespace tallybell::platform
