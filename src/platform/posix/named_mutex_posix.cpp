#include <fcntl.h>
#include <sys/file.h>
#include <time.h>

#include <cerrno>

#include "common/text.h"
#include "platform/clock.h"
#include "platform/named_mutex.h"
#include "platform/posix/fd_posix.h"
#include "platform/posix/user_namespace.h"

namespace tallybell::platform {

struct 命名互斥体::状态 {
  唯一文件描述符 描述符;
  bool 持有 = false;
};

命名互斥体::命名互斥体() : 状态_(std::make_unique<状态>()) {}

命名互斥体::~命名互斥体() { 解锁(); }

bool 命名互斥体::打开或创建(const std::wstring& 名称) {
  状态_->持有 = false;
  状态_->描述符.重置();
  std::string 目录, 名称8;
  if (名称.empty() || 名称.find_first_of(L"/\\") != std::wstring::npos || !宽转UTF8(名称, &名称8) ||
      !取用户命名空间目录(&目录)) {
    return false;
  }
  const std::string 路径 = 目录 + "/" + 名称8 + ".lock";
  状态_->描述符.重置(::open(路径.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
  return 状态_->描述符.有效();
}

加锁结果 命名互斥体::加锁(std::uint32_t 毫秒) {
  if (!状态_->描述符.有效()) return 加锁结果::错误;
  if (状态_->持有) return 加锁结果::取得;
  const std::uint64_t 截止 = 毫秒计时() + 毫秒;
  for (;;) {
    if (::flock(状态_->描述符.取得(), LOCK_EX | LOCK_NB) == 0) {
      状态_->持有 = true;
      return 加锁结果::取得;
    }
    if (errno != EWOULDBLOCK && errno != EINTR) return 加锁结果::错误;
    if (毫秒计时() >= 截止) return 加锁结果::超时;
    // flock has no timed wait; a short poll keeps the bound without a helper thread.
    const timespec 间隔{0, 2 * 1000 * 1000};
    ::nanosleep(&间隔, nullptr);
  }
}

void 命名互斥体::解锁() {
  if (状态_->持有 && 状态_->描述符.有效()) ::flock(状态_->描述符.取得(), LOCK_UN);
  状态_->持有 = false;
}

bool 命名互斥体::已持有() const { return 状态_->持有; }

}  // namespace tallybell::platform
