#include "service/rollout_monitor.h"

#include <chrono>

#include "service/rollout_rules.h"

namespace tallybell::服务 {

int 评估推出一次(服务存储& 存储, std::uint64_t 现在) {
  服务快照 快照;
  if (!存储.读取快照(&快照)) return 0;
  int 变更数 = 0;
  std::uint64_t 修订 = 快照.revision;
  for (const auto& [频道, 推出] : 快照.rollouts) {
    推出统计 统计;
    if ((推出.state != 推出状态::进行中 && 推出.state != 推出状态::已完成) || !存储.统计推出(推出, 现在, &统计)) continue;
    auto 变更 = 评估推出(推出, 统计, 现在);
    if (!变更) continue;
    // A stale revision means another writer got there first; the next pass looks again.
    if (!存储.保存推出(&变更->新记录, {现在, "service", 变更->说明}, 修订)) break;
    ++修订;
    ++变更数;
  }
  return 变更数;
}

推出监视器::推出监视器(服务存储& 存储, const 服务时钟& 时钟) : 存储_(存储), 时钟_(时钟) {}

推出监视器::~推出监视器() {
  {
    std::lock_guard<std::mutex> 守卫(锁_);
    停止_ = true;
  }
  唤醒_.notify_all();
  if (线程_.joinable()) 线程_.join();
}

bool 推出监视器::启动() {
  if (!刷新()) return false;
  线程_ = std::thread([this] { 循环(); });
  return true;
}

std::shared_ptr<const 服务快照> 推出监视器::快照() const {
  std::lock_guard<std::mutex> 守卫(锁_);
  if (std::chrono::steady_clock::now() - 确认于_ > std::chrono::seconds(5)) return nullptr;
  return 快照_;
}

bool 推出监视器::刷新() {
  std::uint64_t 修订 = 0;
  const auto 开始 = std::chrono::steady_clock::now();
  if (!存储_.读取修订(&修订)) return false;
  {
    std::lock_guard<std::mutex> 守卫(锁_);
    if (快照_ && 快照_->revision == 修订) {
      确认于_ = 开始;
      return true;
    }
  }
  auto 新快照 = std::make_shared<服务快照>();
  if (!存储_.读取快照(新快照.get())) return false;
  std::lock_guard<std::mutex> 守卫(锁_);
  // Only ever forward: a resolve never sees an older revision than one before it.
  if (!快照_ || 快照_->revision < 新快照->revision) 快照_ = std::move(新快照);
  确认于_ = 开始;
  return true;
}

void 推出监视器::循环() {
  using namespace std::chrono;
  auto 下次评估 = steady_clock::now();
  std::unique_lock<std::mutex> 锁(锁_);
  while (!停止_) {
    唤醒_.wait_for(锁, milliseconds(200));
    if (停止_) break;
    锁.unlock();
    if (steady_clock::now() >= 下次评估) {
      评估推出一次(存储_, 时钟_.现在());
      下次评估 = steady_clock::now() + seconds(1);
    }
    刷新();
    锁.lock();
  }
}

}  // namespace tallybell::服务
