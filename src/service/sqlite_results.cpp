// The result side of the SQLite store: batched durable commits, rollout health counts,
// retention.
#include "service/sqlite_store.h"

namespace tallybell::服务 {

bool SQLite存储::写入批次(const std::vector<结果记录>& 事件, const std::vector<提供记录>& 提供,
                          const std::vector<隔离事件>& 隔离, std::vector<bool>* 新事件) {
  std::lock_guard<std::mutex> 守卫(锁_);
  SQLite事务 事务(连接_);
  if (!事务.已开始()) return false;
  SQLite语句 插入(连接_, "INSERT OR IGNORE INTO results (event_id, installation_id, assignment_id, "
                         "policy_version, original_release_id, target_release_id, final_release_id, result, "
                         "failure_stage, error_code, task_id, occurred_at, received_at) "
                         "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
  std::vector<bool> 新(事件.size(), false);
  for (std::size_t i = 0; i < 事件.size(); ++i) {
    const auto& e = 事件[i];
    插入.绑定(0, e.eventId).绑定(1, e.installationId).绑定(2, e.assignmentId).绑定(3, e.policyVersion);
    插入.绑定(4, e.originalReleaseId).绑定(5, e.targetReleaseId).绑定(6, e.finalReleaseId).绑定(7, e.result);
    插入.绑定(8, e.failureStage).绑定(9, std::uint64_t{e.errorCode}).绑定(10, e.taskId);
    插入.绑定(11, e.occurredAt).绑定(12, e.receivedAt);
    if (!插入.执行()) return false;
    新[i] = ::sqlite3_changes(连接_.get()) == 1;
  }
  SQLite语句 记提供(连接_, "INSERT OR IGNORE INTO offers (rollout_id, installation_id, step_index, offered_at) "
                           "VALUES (?, ?, ?, ?)");
  for (const auto& o : 提供) {
    if (!记提供.绑定(0, o.rolloutId).绑定(1, o.installationId).绑定(2, std::uint64_t{o.stepIndex}).绑定(3, o.offeredAt).执行()) {
      return false;
    }
  }
  SQLite语句 记隔离(连接_, "INSERT OR IGNORE INTO poison_events (idempotency_key, body, reason, received_at) "
                           "VALUES (?, ?, ?, ?)");
  for (const auto& q : 隔离) {
    if (!记隔离.绑定(0, q.idempotencyKey).绑定(1, q.body).绑定(2, q.reason).绑定(3, q.receivedAt).执行()) return false;
  }
  if (!事务.提交()) return false;
  if (新事件) *新事件 = std::move(新);
  return true;
}

bool SQLite存储::统计推出(const 推出记录& 推出, std::uint64_t 现在, 推出统计* 统计) {
  std::lock_guard<std::mutex> 守卫(锁_);
  推出统计 结果;
  const std::string 分配 = 分配标识(推出.id);
  SQLite语句 分组(连接_, "SELECT result, failure_stage, error_code, COUNT(*) FROM results "
                         "WHERE assignment_id = ? AND target_release_id = ? GROUP BY 1, 2, 3 ORDER BY 4 DESC");
  分组.绑定(0, 分配).绑定(1, 推出.target);
  int 步;
  while ((步 = 分组.步进()) == SQLITE_ROW) {
    结果分组 组{分组.文本(0), 分组.文本(1), static_cast<std::uint32_t>(分组.整数(2)), 分组.整数(3)};
    结果.results += 组.count;
    if (组.result == "failed") 结果.failures += 组.count;
    结果.groups.push_back(std::move(组));
  }
  if (步 != SQLITE_DONE) return false;
  const std::uint64_t 成熟时刻 = 现在 > 推出.limits.silentAfterSeconds ? 现在 - 推出.limits.silentAfterSeconds : 0;
  SQLite语句 提供(连接_, "SELECT COUNT(*), COALESCE(SUM(offered_at <= ?), 0) FROM offers "
                         "WHERE rollout_id = ? AND step_index = ?");
  提供.绑定(0, 成熟时刻).绑定(1, 推出.id).绑定(2, std::uint64_t{推出.stepIndex});
  if (提供.步进() != SQLITE_ROW) return false;
  结果.offersInStep = 提供.整数(0);
  结果.ripeOffersInStep = 提供.整数(1);
  SQLite语句 沉默(连接_, "SELECT o.installation_id FROM offers o WHERE o.rollout_id = ? AND o.step_index = ? "
                         "AND o.offered_at <= ? AND NOT EXISTS (SELECT 1 FROM results r WHERE "
                         "r.assignment_id = ? AND r.target_release_id = ? AND r.installation_id = o.installation_id) "
                         "ORDER BY o.offered_at, o.installation_id");
  沉默.绑定(0, 推出.id).绑定(1, std::uint64_t{推出.stepIndex}).绑定(2, 成熟时刻).绑定(3, 分配).绑定(4, 推出.target);
  while ((步 = 沉默.步进()) == SQLITE_ROW) {
    if (结果.silentInstallations.size() < 20) 结果.silentInstallations.push_back(沉默.文本(0));
    ++结果.silentInStep;
  }
  if (步 != SQLITE_DONE) return false;
  *统计 = std::move(结果);
  return true;
}

bool SQLite存储::已提供(std::uint64_t 推出标识, const std::string& 安装标识, bool* 结果) {
  std::lock_guard<std::mutex> 守卫(锁_);
  SQLite语句 语句(连接_, "SELECT 1 FROM offers WHERE rollout_id = ? AND installation_id = ?");
  语句.绑定(0, 推出标识).绑定(1, 安装标识);
  const int 步 = 语句.步进();
  *结果 = 步 == SQLITE_ROW;
  return 步 == SQLITE_ROW || 步 == SQLITE_DONE;
}

bool SQLite存储::事件数(std::uint64_t* 事件, std::uint64_t* 隔离) {
  std::lock_guard<std::mutex> 守卫(锁_);
  SQLite语句 语句(连接_, "SELECT (SELECT COUNT(*) FROM results), (SELECT COUNT(*) FROM poison_events)");
  if (语句.步进() != SQLITE_ROW) return false;
  *事件 = 语句.整数(0);
  *隔离 = 语句.整数(1);
  return true;
}

bool SQLite存储::修剪结果(std::uint64_t 截止, std::uint64_t* 已删除, const 审计条目& 审计) {
  std::lock_guard<std::mutex> 守卫(锁_);
  SQLite事务 事务(连接_);
  SQLite语句 累计(连接_, "INSERT INTO result_totals (release_id, result, failure_stage, error_code, count) "
                         "SELECT target_release_id, result, failure_stage, error_code, COUNT(*) FROM results "
                         "WHERE received_at < ? GROUP BY 1, 2, 3, 4 "
                         "ON CONFLICT DO UPDATE SET count = count + excluded.count");
  SQLite语句 删除(连接_, "DELETE FROM results WHERE received_at < ?");
  SQLite语句 审计语句(连接_, "INSERT INTO audit (at, who, what) VALUES (?, ?, ?)");
  if (!事务.已开始() || !累计.绑定(0, 截止).执行() || !删除.绑定(0, 截止).执行()) return false;
  *已删除 = static_cast<std::uint64_t>(::sqlite3_changes(连接_.get()));
  const std::string 内容 = 审计.what + " (" + std::to_string(*已删除) + " rows)";
  return 审计语句.绑定(0, 审计.at).绑定(1, 审计.who).绑定(2, 内容).执行() && 事务.提交();
}

std::vector<隔离事件> SQLite存储::读取隔离(std::uint32_t 最多) {
  std::lock_guard<std::mutex> 守卫(锁_);
  std::vector<隔离事件> 结果;
  SQLite语句 语句(连接_, "SELECT idempotency_key, body, reason, received_at FROM poison_events "
                         "ORDER BY received_at DESC LIMIT ?");
  语句.绑定(0, std::uint64_t{最多});
  while (语句.步进() == SQLITE_ROW) 结果.push_back({语句.文本(0), 语句.文本(1), 语句.文本(2), 语句.整数(3)});
  return 结果;
}

std::vector<结果分组> SQLite存储::发布总计(const std::string& 发布标识) {
  std::lock_guard<std::mutex> 守卫(锁_);
  std::vector<结果分组> 结果;
  SQLite语句 语句(连接_, "SELECT result, failure_stage, error_code, SUM(n) FROM ("
                         "SELECT result, failure_stage, error_code, count AS n FROM result_totals WHERE release_id = ? "
                         "UNION ALL SELECT result, failure_stage, error_code, 1 FROM results WHERE target_release_id = ?) "
                         "GROUP BY 1, 2, 3 ORDER BY 4 DESC");
  语句.绑定(0, 发布标识).绑定(1, 发布标识);
  while (语句.步进() == SQLITE_ROW) {
    结果.push_back({语句.文本(0), 语句.文本(1), static_cast<std::uint32_t>(语句.整数(2)), 语句.整数(3)});
  }
  return 结果;
}

}  // namespace tallybell::服务
