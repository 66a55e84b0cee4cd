#include "service/result_writer.h"

#include <chrono>

namespace tallybell::服务 {

struct 结果写入器::任务 {
  std::optional<结果记录> 事件;
  std::optional<隔离事件> 隔离;
  std::promise<写入结局> 完成;
};

结果写入器::结果写入器(服务存储& 存储) : 存储_(存储), 线程_([this] { 循环(); }) {}

结果写入器::~结果写入器() {
  {
    std::lock_guard<std::mutex> 守卫(锁_);
    停止_ = true;
  }
  有任务_.notify_all();
  线程_.join();
}

写入结局 结果写入器::排队等待(std::unique_ptr<任务> 任务) {
  auto 结局 = 任务->完成.get_future();
  {
    std::lock_guard<std::mutex> 守卫(锁_);
    if (停止_) return 写入结局::失败;
    队列_.push_back(std::move(任务));
  }
  有任务_.notify_one();
  return 结局.get();
}

写入结局 结果写入器::写入事件(结果记录 事件) {
  auto 新任务 = std::make_unique<任务>();
  新任务->事件 = std::move(事件);
  return 排队等待(std::move(新任务));
}

写入结局 结果写入器::写入隔离(隔离事件 事件) {
  auto 新任务 = std::make_unique<任务>();
  新任务->隔离 = std::move(事件);
  return 排队等待(std::move(新任务));
}

void 结果写入器::记录提供(const 提供记录& 提供) {
  {
    std::lock_guard<std::mutex> 守卫(锁_);
    // The memory of what was handed on is only a shortcut (the store keeps the first offer
    // anyway), so it is dropped rather than allowed to grow without bound.
    if (已提供_.size() >= 1000000) 已提供_.clear();
    if (!已提供_.emplace(提供.rolloutId, 提供.installationId).second) return;
    待记提供_.push_back(提供);
  }
  有任务_.notify_one();
}

void 结果写入器::循环() {
  constexpr std::size_t 每批上限 = 2000;
  for (;;) {
    std::vector<std::unique_ptr<任务>> 批;
    std::vector<提供记录> 提供;
    {
      std::unique_lock<std::mutex> 锁(锁_);
      有任务_.wait(锁, [this] { return 停止_ || !队列_.empty() || !待记提供_.empty(); });
      if (队列_.empty() && 待记提供_.empty()) return;
      while (!队列_.empty() && 批.size() < 每批上限) {
        批.push_back(std::move(队列_.front()));
        队列_.pop_front();
      }
      提供.swap(待记提供_);
    }
    std::vector<结果记录> 事件;
    std::vector<隔离事件> 隔离;
    for (const auto& 项 : 批) {
      if (项->事件) 事件.push_back(*项->事件);
      if (项->隔离) 隔离.push_back(*项->隔离);
    }
    std::vector<bool> 新事件;
    const bool 成功 = 存储_.写入批次(事件, 提供, 隔离, &新事件);
    if (!成功) {
      // Offers are retried with the next batch; a lost offer only delays silence detection.
      {
        std::lock_guard<std::mutex> 守卫(锁_);
        待记提供_.insert(待记提供_.end(), 提供.begin(), 提供.end());
      }
      // A failing disk is not retried in a tight loop.
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    std::size_t 序号 = 0;
    for (auto& 项 : 批) {
      if (!成功) {
        项->完成.set_value(写入结局::失败);
      } else if (项->事件) {
        项->完成.set_value(新事件[序号++] ? 写入结局::新存 : 写入结局::重复);
      } else {
        项->完成.set_value(写入结局::新存);
      }
    }
  }
}

}  // namespace tallybell::服务
