#include "platform/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>

#include <cerrno>

#include "platform/clock.h"
#include "platform/posix/fd_posix.h"
#include "platform/posix/path_posix.h"

namespace tallybell::platform {

struct 文件锁::状态 {
  唯一文件描述符 描述符;
  std::string 路径;
  bool 持有 = false;
};

文件锁::文件锁() : 状态_(std::make_unique<状态>()) {}

文件锁::~文件锁() {
  if (状态_->持有) ::flock(状态_->描述符.get(), LOCK_UN);
}

bool 文件锁::打开或创建(const std::wstring& 路径) {
  状态_ = std::make_unique<状态>();
  if (!转POSIX路径(路径, &状态_->路径)) return false;
  // 0600: flock works on a descriptor opened for reading, so a file others may read would
  // let any local user hold the root's lock for ever.
  唯一文件描述符 描述符(::open(状态_->路径.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600));
  struct stat 信息 {};
  if (!描述符.有效() || ::fstat(描述符.get(), &信息) != 0 || !S_ISREG(信息.st_mode)) return false;
  状态_->描述符 = std::move(描述符);
  return true;
}

加锁结果 文件锁::加锁(std::uint32_t 毫秒) {
  if (!状态_->描述符.有效()) return 加锁结果::错误;
  if (状态_->持有) return 加锁结果::取得;
  const std::uint64_t 截止 = 毫秒计时() + 毫秒;
  for (;;) {
    if (::flock(状态_->描述符.get(), LOCK_EX | LOCK_NB) == 0) {
      状态_->持有 = true;
      return 加锁结果::取得;
    }
    if (errno != EWOULDBLOCK && errno != EINTR) return 加锁结果::错误;
    if (毫秒计时() >= 截止) return 加锁结果::超时;
    const timespec 间隔{0, 2 * 1000 * 1000};
    ::nanosleep(&间隔, nullptr);
  }
}

void 文件锁::删除并关闭() {
  if (状态_->持有) ::unlink(状态_->路径.c_str());
  if (状态_->持有) ::flock(状态_->描述符.get(), LOCK_UN);
  状态_ = std::make_unique<状态>();
}

bool 文件锁::已持有() const { return 状态_->持有; }

}  // namespace tallybell::platform
