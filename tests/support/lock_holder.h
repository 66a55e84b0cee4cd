// Another holder of a named lock, as a second update run would be: a thread that takes the
// lock and keeps it until the object goes. (A Windows mutex is re-entrant for its owner
// thread, and one whose owner thread ended counts as abandoned, so the test thread cannot
// hold it itself.)
#pragma once

#include <future>
#include <string>
#include <thread>

#include "platform/named_mutex.h"

namespace tallybell::测试 {

class 持锁线程 {
 public:
  explicit 持锁线程(const std::wstring& 名称) {
    std::promise<bool> 已持有;
    auto 结果 = 已持有.get_future();
    线程_ = std::thread([this, 名称, 已持有 = std::move(已持有)]() mutable {
      platform::命名互斥体 锁;
      已持有.set_value(锁.打开或创建(名称) && 锁.加锁(0) == platform::加锁结果::取得);
      可释放_.get_future().wait();
    });
    已取得_ = 结果.get();
  }
  ~持锁线程() {
    可释放_.set_value();
    线程_.join();
  }
  持锁线程(const 持锁线程&) = delete;
  持锁线程& operator=(const 持锁线程&) = delete;

  bool 已取得() const { return 已取得_; }

 private:
  std::promise<void> 可释放_;
  std::thread 线程_;
  bool 已取得_ = false;
};

// A holder that takes the named mutex and dies holding it: a child process on POSIX (the
// kernel drops its lock), a thread on Windows (the mutex is left abandoned; the caller
// must keep a handle of its own open, or the mutex would vanish with the holder's). True
// when the holder had the lock.
bool 持锁后死去(const std::wstring& 名称);

}  // namespace tallybell::测试
