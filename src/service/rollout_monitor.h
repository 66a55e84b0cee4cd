// Keeps the serving process's snapshot current and lets rollouts act on their own: a due
// step is taken and an unhealthy rollout halted, each as a revision of its own, so every
// resolve after it issues a newer policy version.
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "service/service_clock.h"
#include "service/service_store.h"

namespace tallybell::服务 {

class 推出监视器 {
 public:
  推出监视器(服务存储& 存储, const 服务时钟& 时钟);
  ~推出监视器();
  推出监视器(const 推出监视器&) = delete;
  推出监视器& operator=(const 推出监视器&) = delete;

  // Loads the first snapshot and starts the background pass; false when the store fails.
  bool 启动();
  // Null while the store has not been confirmed current for a few seconds (a database
  // that cannot be reached): a policy from a snapshot that other instances may have moved
  // past could go back a version.
  std::shared_ptr<const 服务快照> 快照() const;

 private:
  bool 刷新();
  void 评估全部();
  void 循环();

  服务存储& 存储_;
  const 服务时钟& 时钟_;
  mutable std::mutex 锁_;
  std::shared_ptr<const 服务快照> 快照_;
  std::chrono::steady_clock::time_point 确认于_;
  std::condition_variable 唤醒_;
  bool 停止_ = false;
  std::thread 线程_;
};

// One health and plan pass over every current rollout (what the monitor does each second).
// Returns the number of changes committed.
int 评估推出一次(服务存储& 存储, std::uint64_t 现在);

}  // namespace tallybell::服务
