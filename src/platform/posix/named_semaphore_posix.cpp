#include <fcntl.h>
#include <sys/file.h>

#include <vector>

#include "common/text.h"
#include "platform/lock_rules.h"
#include "platform/named_semaphore.h"
#include "platform/posix/fd_posix.h"
#include "platform/posix/flock_wait_posix.h"
#include "platform/posix/user_namespace.h"

namespace tallybell::platform {

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
  if (!名额数可用(名额数) || !锁名称可用(名称) || !宽转UTF8(名称, &名称8) || !取用户命名空间目录(&目录)) {
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
  std::vector<int> 描述符;
  for (const auto& 文件 : 状态_->名额文件) 描述符.push_back(文件.get());
  std::size_t 序号 = 0;
  const 加锁结果 结果 = 等待独占flock(描述符, 毫秒, &序号);
  if (结果 == 加锁结果::取得) 状态_->持有序号 = static_cast<int>(序号);
  return 结果;
}

void 命名信号量::归还名额() {
  const int 序号 = 状态_->持有序号;
  if (序号 >= 0 && static_cast<std::size_t>(序号) < 状态_->名额文件.size()) {
    ::flock(状态_->名额文件[static_cast<std::size_t>(序号)].get(), LOCK_UN);
  }
  状态_->持有序号 = -1;
}

bool 命名信号量::已持有() const { return 状态_->持有序号 >= 0; }

}  // namespace tallybell::platform
