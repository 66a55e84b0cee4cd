// Groups what the request threads hand in into one durable commit: every event waiting
// when a commit starts goes into it, so the number of disk syncs follows the commit time,
// not the request rate.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <future>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>

#include "service/service_store.h"

namespace tallybell::服务 {

enum class 写入结局 { 新存, 重复, 失败 };

class 结果写入器 {
 public:
  explicit 结果写入器(服务存储& 存储);
  ~结果写入器();  // commits what is queued, then stops
  结果写入器(const 结果写入器&) = delete;
  结果写入器& operator=(const 结果写入器&) = delete;

  // Blocks until the batch holding the event is committed (or failed).
  写入结局 写入事件(结果记录 事件);
  写入结局 写入隔离(隔离事件 事件);
  // Offers are not waited for; each rollout and installation is handed on once per process.
  void 记录提供(const 提供记录& 提供);

 private:
  struct 任务;
  写入结局 排队等待(std::unique_ptr<任务> 任务);
  void 循环();

  服务存储& 存储_;
  std::mutex 锁_;
  std::condition_variable 有任务_;
  std::deque<std::unique_ptr<任务>> 队列_;
  std::vector<提供记录> 待记提供_;
  std::set<std::pair<std::uint64_t, std::string>> 已提供_;
  bool 停止_ = false;
  std::thread 线程_;
};

}  // namespace tallybell::服务
