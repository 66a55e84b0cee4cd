// Another holder of a lock, as a second update run or the application would be: a thread
// that takes the lock and keeps it until the object goes. (A Windows mutex is re-entrant
// for its owner thread, and one whose owner thread ended counts as abandoned, so the test
// thread cannot hold it itself.)
#pragma once

#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "platform/named_mutex.h"

namespace tallybell::测试 {

// Takes a lock on the holder's side: what it returns holds the lock while it lives; null
// when the lock could not be taken.
using 取锁方法 = std::function<std::shared_ptr<void>()>;

inline 取锁方法 命名锁(const std::wstring& 名称) {
  return [名称]() -> std::shared_ptr<void> {
    auto 锁 = std::make_shared<platform::命名互斥体>();
    return 锁->打开或创建(名称) && 锁->加锁(0) == platform::加锁结果::取得 ? 锁 : nullptr;
  };
}

class 持锁线程 {
 public:
  explicit 持锁线程(const std::wstring& 名称) : 持锁线程(命名锁(名称)) {}
  explicit 持锁线程(取锁方法 取锁)
      : 线程_([this, 取锁 = std::move(取锁)] {
          const auto 持有 = 取锁();  // released on this thread, its owner
          已持有_.set_value(持有 != nullptr);
          可释放_.get_future().wait();
        }),
        已取得_(已持有_.get_future().get()) {}
  ~持锁线程() {
    可释放_.set_value();
    线程_.join();
  }
  持锁线程(const 持锁线程&) = delete;
  持锁线程& operator=(const 持锁线程&) = delete;

  bool 已取得() const { return 已取得_; }

 private:
  std::promise<bool> 已持有_;
  std::promise<void> 可释放_;
  std::thread 线程_;
  bool 已取得_;
};

// A holder that takes the lock and dies holding it: a child process on POSIX (the kernel
// drops its lock), a thread on Windows (the mutex is left abandoned). True when the holder
// had the lock.
bool 持锁后死去(const 取锁方法& 取锁);
inline bool 持锁后死去(const std::wstring& 名称) { return 持锁后死去(命名锁(名称)); }

}  // namespace tallybell::测试
