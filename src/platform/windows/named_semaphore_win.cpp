#include <windows.h>

#include "platform/lock_rules.h"
#include "platform/named_semaphore.h"
#include "platform/windows/handles_win.h"
#include "platform/windows/lock_wait_win.h"

namespace tallybell::platform {

struct 命名信号量::状态 {
  windows::作用域句柄 句柄;
  bool 持有 = false;
};

命名信号量::命名信号量() : 状态_(std::make_unique<状态>()) {}

命名信号量::~命名信号量() { 归还名额(); }

bool 命名信号量::打开或创建(const std::wstring& 名称, std::uint32_t 名额数) {
  归还名额();
  状态_->句柄.重置();
  if (!名额数可用(名额数) || !锁名称可用(名称)) return false;
  const std::wstring 全名 = L"Local\\" + 名称;
  const LONG 数量 = static_cast<LONG>(名额数);
  // An existing semaphore is opened as it is; the counts only apply to the first creator.
  状态_->句柄.重置(CreateSemaphoreW(nullptr, 数量, 数量, 全名.c_str()));
  return 状态_->句柄.有效();
}

加锁结果 命名信号量::取得名额(std::uint32_t 毫秒) {
  if (!状态_->句柄) return 加锁结果::错误;
  if (状态_->持有) return 加锁结果::取得;
  const 加锁结果 结果 = windows::等待锁对象(状态_->句柄.get(), 毫秒);
  状态_->持有 = 结果 == 加锁结果::取得;
  return 结果;
}

void 命名信号量::归还名额() {
  if (状态_->持有 && 状态_->句柄) ReleaseSemaphore(状态_->句柄.get(), 1, nullptr);
  状态_->持有 = false;
}

bool 命名信号量::已持有() const { return 状态_->持有; }

}  // namespace tallybell::platform
