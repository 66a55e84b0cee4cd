#include <fcntl.h>
#include <sys/file.h>

#include "common/text.h"
#include "platform/lock_rules.h"
#include "platform/named_mutex.h"
#include "platform/posix/fd_posix.h"
#include "platform/posix/flock_wait_posix.h"
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
  if (!锁名称可用(名称) || !宽转UTF8(名称, &名称8) || !取用户命名空间目录(&目录)) return false;
  const std::string 路径 = 目录 + "/" + 名称8 + ".lock";
  状态_->描述符.重置(::open(路径.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
  return 状态_->描述符.有效();
}

加锁结果 命名互斥体::加锁(std::uint32_t 毫秒) {
  if (!状态_->描述符.有效()) return 加锁结果::错误;
  if (状态_->持有) return 加锁结果::取得;
  std::size_t 序号 = 0;
  const 加锁结果 结果 = 等待独占flock({状态_->描述符.get()}, 毫秒, &序号);
  状态_->持有 = 结果 == 加锁结果::取得;
  return 结果;
}

void 命名互斥体::解锁() {
  if (状态_->持有 && 状态_->描述符.有效()) ::flock(状态_->描述符.get(), LOCK_UN);
  状态_->持有 = false;
}

bool 命名互斥体::已持有() const { return 状态_->持有; }

}  // namespace tallybell::platform
