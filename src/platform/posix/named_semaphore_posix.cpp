#include <fcntl.h>
#include <sys/file.h>
#include <time.h>

#include <cerrno>
#include <vector>

#include "common/text.h"
#include "platform/clock.h"
#include "platform/named_semaphore.h"
#include "platform/posix/fd_posix.h"
#include "platform/posix/user_namespace.h"

namespace tallybell::platform {

namespace {

constexpr std::uint32_t 最多名额 = 64;

}  // namespace

// Each slot is a lock file NAME.<i>.lock; a slot is taken by an exclusive flock on any one
// of them. The kernel drops the lock of a process that dies, so a crashed holder never
// keeps its slot.
struct 命名信号量::状态 {
  std::vector<唯一文件描述符> 名额文件;
  int 持有序号 = -1;
};

命名信号量::命名信号量() : 状态_(std::make_unique<状态>()) {}

命名信号量::~命名信号量() { 归还名额(); }

bool 命名信号量::打开或创建(const std::wstring& 名称, std::uint32_t 名额数) {
  归还名额();
  状态_->名额文件.clear();
  std::string 目录, 名称8;
  if (名额数 == 0 || 名额数 > 最多名额 || 名称.empty() || 名称.find_first_of(L"/\\") != std::wstring::npos ||
      !宽转UTF8(名称, &名称8) || !取用户命名空间目录(&目录)) {
    return false;
  }
  std::vector<唯一文件描述符> 文件;
  for (std::uint32_t 序号 = 0; 序号 < 名额数; ++序号) {
    const std::string 路径 = 目录 + "/" + 名称8 + "." + 十进制(序号) + ".lock";
    文件.emplace_back(::open(路径.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!文件.back().有效()) return false;
  }
  状态_->名额文件 = std::move(文件);
  return true;
}

加锁结果 命名信号量::取得名额(std::uint32_t 毫秒) {
  if (状态_->名额文件.empty()) return 加锁结果::错误;
  if (状态_->持有序号 >= 0) return 加锁结果::取得;
  const std::uint64_t 截止 = 毫秒计时() + 毫秒;
  for (;;) {
    for (std::size_t 序号 = 0; 序号 < 状态_->名额文件.size(); ++序号) {
      if (::flock(状态_->名额文件[序号].取得(), LOCK_EX | LOCK_NB) == 0) {
        状态_->持有序号 = static_cast<int>(序号);
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

void 命名信号量::归还名额() {
  const int 序号 = 状态_->持有序号;
  if (序号 >= 0 && static_cast<std::size_t>(序号) < 状态_->名额文件.size()) {
    ::flock(状态_->名额文件[static_cast<std::size_t>(序号)].取得(), LOCK_UN);
  }
  状态_->持有序号 = -1;
}

bool 命名信号量::已持有() const { return 状态_->持有序号 >= 0; }

}  // namespace tallybell::platform
