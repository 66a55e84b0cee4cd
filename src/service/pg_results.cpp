// The result side of the PostgreSQL store: batched durable commits, rollout health counts,
// retention.
#include <algorithm>
#include <numeric>
#include <set>

#include "service/pg_store.h"

namespace tallybell::服务 {
namespace {

std::string 数(std::uint64_t 值) { return std::to_string(值); }

// Positions of 项 ordered by 键. Every instance writes rows in the same key order, so two
// batches that share events wait for each other instead of deadlocking.
template <typename 项, typename 取键>
std::vector<std::size_t> 按键排序(const std::vector<项>& 列表, 取键 键) {
  std::vector<std::size_t> 次序(列表.size());
  std::iota(次序.begin(), 次序.end(), std::size_t{0});
  std::sort(次序.begin(), 次序.end(), [&](std::size_t a, std::size_t b) { return 键(列表[a]) < 键(列表[b]); });
  return 次序;
}

// The text form of a one-dimensional array, handed to the server as one parameter: every
// element quoted, with backslash and double quote escaped.
class 数组文本 {
 public:
  void 追加(const std::string& 值) {
    文本_ += 文本_.empty() ? "{\"" : ",\"";
    for (const char c : 值) {
      if (c == '"' || c == '\\') 文本_ += '\\';
      文本_ += c;
    }
    文本_ += '"';
  }
  std::string 完成() const { return 文本_.empty() ? "{}" : 文本_ + "}"; }

 private:
  std::string 文本_;
};

std::vector<std::string> 全部文本(const std::vector<数组文本>& 列) {
  std::vector<std::string> 结果;
  for (const auto& 项 : 列) 结果.push_back(项.完成());
  return 结果;
}

}  // namespace

bool PG存储::写入批次(const std::vector<结果记录>& 事件, const std::vector<提供记录>& 提供,
                      const std::vector<隔离事件>& 隔离, std::vector<bool>* 新事件) {
  auto 会话 = 池_.借出(nullptr);
  if (!会话) return false;
  PG事务 事务(*会话);
  if (!事务.已开始()) return false;
  // One statement per table and batch: a round trip per event would cap a batch far below
  // what one commit can carry. An event another instance is committing at this moment
  // makes the insert wait for that commit: then it is a duplicate here, or new if the
  // other instance died before committing.
  std::vector<bool> 新(事件.size(), false);
  if (!事件.empty()) {
    std::vector<数组文本> 列(13);
    for (const auto i : 按键排序(事件, [](const 结果记录& e) { return e.eventId; })) {
      const auto& e = 事件[i];
      const std::string 值[] = {e.eventId, e.installationId, e.assignmentId, 数(e.policyVersion), e.originalReleaseId,
                                e.targetReleaseId, e.finalReleaseId, e.result, e.failureStage, 数(e.errorCode),
                                e.taskId, e.occurredAt, 数(e.receivedAt)};
      for (std::size_t c = 0; c < 列.size(); ++c) 列[c].追加(值[c]);
    }
    const auto 行 = 会话->执行(
        "INSERT INTO results (event_id, installation_id, assignment_id, policy_version, original_release_id, "
        "target_release_id, final_release_id, result, failure_stage, error_code, task_id, occurred_at, received_at) "
        "SELECT * FROM unnest($1::text[], $2::text[], $3::text[], $4::numeric[], $5::text[], $6::text[], $7::text[], "
        "$8::text[], $9::text[], $10::bigint[], $11::text[], $12::text[], $13::bigint[]) "
        "ON CONFLICT (event_id) DO NOTHING RETURNING event_id",
        全部文本(列));
    if (!行.成功()) return false;
    std::set<std::string> 新标识;
    for (int r = 0; r < 行.行数(); ++r) 新标识.insert(行.文本(r, 0));
    // The same event twice in one batch is new once.
    for (std::size_t i = 0; i < 事件.size(); ++i) 新[i] = 新标识.erase(事件[i].eventId) == 1;
  }
  if (!提供.empty()) {
    std::vector<数组文本> 列(4);
    for (const auto i : 按键排序(提供, [](const 提供记录& o) { return std::make_pair(o.rolloutId, o.installationId); })) {
      const auto& o = 提供[i];
      const std::string 值[] = {数(o.rolloutId), o.installationId, 数(o.stepIndex), 数(o.offeredAt)};
      for (std::size_t c = 0; c < 列.size(); ++c) 列[c].追加(值[c]);
    }
    if (!会话->执行("INSERT INTO offers (rollout_id, installation_id, step_index, offered_at) "
                    "SELECT * FROM unnest($1::bigint[], $2::text[], $3::bigint[], $4::bigint[]) ON CONFLICT DO NOTHING",
                    全部文本(列)).成功()) {
      return false;
    }
  }
  for (const auto i : 按键排序(隔离, [](const 隔离事件& q) { return q.idempotencyKey; })) {
    const auto& q = 隔离[i];
    if (!会话->执行("INSERT INTO poison_events (idempotency_key, body, reason, received_at) VALUES ($1, $2, $3, $4) "
                    "ON CONFLICT DO NOTHING",
                    {q.idempotencyKey, q.body, q.reason, 数(q.receivedAt)}).成功()) {
      return false;
    }
  }
  if (!事务.提交()) return false;
  if (新事件) *新事件 = std::move(新);
  return true;
}

bool PG存储::统计推出(const 推出记录& 推出, std::uint64_t 现在, 推出统计* 统计) {
  auto 会话 = 池_.借出(nullptr);
  if (!会话) return false;
  推出统计 结果;
  const std::string 分配 = 分配标识(推出.id);
  const auto 分组 = 会话->执行("SELECT result, failure_stage, error_code, COUNT(*) FROM results "
                               "WHERE assignment_id = $1 AND target_release_id = $2 GROUP BY 1, 2, 3 ORDER BY 4 DESC",
                               {分配, 推出.target});
  if (!分组.成功()) return false;
  for (int i = 0; i < 分组.行数(); ++i) {
    结果分组 组{分组.文本(i, 0), 分组.文本(i, 1), static_cast<std::uint32_t>(分组.整数(i, 2)), 分组.整数(i, 3)};
    结果.results += 组.count;
    if (组.result == "failed") 结果.failures += 组.count;
    结果.groups.push_back(std::move(组));
  }
  const std::uint64_t 成熟时刻 = 现在 > 推出.limits.silentAfterSeconds ? 现在 - 推出.limits.silentAfterSeconds : 0;
  const auto 提供 = 会话->执行("SELECT COUNT(*), COUNT(*) FILTER (WHERE offered_at <= $1) FROM offers "
                               "WHERE rollout_id = $2 AND step_index = $3",
                               {数(成熟时刻), 数(推出.id), 数(推出.stepIndex)});
  if (!提供.成功() || 提供.行数() != 1) return false;
  结果.offersInStep = 提供.整数(0, 0);
  结果.ripeOffersInStep = 提供.整数(0, 1);
  const auto 沉默 = 会话->执行("SELECT o.installation_id, COUNT(*) OVER () FROM offers o WHERE o.rollout_id = $1 "
                               "AND o.step_index = $2 AND o.offered_at <= $3 AND NOT EXISTS (SELECT 1 FROM results r "
                               "WHERE r.assignment_id = $4 AND r.target_release_id = $5 AND "
                               "r.installation_id = o.installation_id) ORDER BY o.offered_at, o.installation_id LIMIT 20",
                               {数(推出.id), 数(推出.stepIndex), 数(成熟时刻), 分配, 推出.target});
  if (!沉默.成功()) return false;
  for (int i = 0; i < 沉默.行数(); ++i) 结果.silentInstallations.push_back(沉默.文本(i, 0));
  结果.silentInStep = 沉默.行数() ? 沉默.整数(0, 1) : 0;
  *统计 = std::move(结果);
  return true;
}

bool PG存储::已提供(std::uint64_t 推出标识, const std::string& 安装标识, bool* 结果) {
  auto 会话 = 池_.借出(nullptr);
  if (!会话) return false;
  const auto 行 = 会话->执行("SELECT 1 FROM offers WHERE rollout_id = $1 AND installation_id = $2",
                             {数(推出标识), 安装标识});
  *结果 = 行.成功() && 行.行数() == 1;
  return 行.成功();
}

bool PG存储::事件数(std::uint64_t* 事件, std::uint64_t* 隔离) {
  auto 会话 = 池_.借出(nullptr);
  if (!会话) return false;
  const auto 行 = 会话->执行("SELECT (SELECT COUNT(*) FROM results), (SELECT COUNT(*) FROM poison_events)");
  if (!行.成功() || 行.行数() != 1) return false;
  *事件 = 行.整数(0, 0);
  *隔离 = 行.整数(0, 1);
  return true;
}

bool PG存储::修剪结果(std::uint64_t 截止, std::uint64_t* 已删除, const 审计条目& 审计) {
  auto 会话 = 池_.借出(nullptr);
  if (!会话) return false;
  PG事务 事务(*会话);
  // One statement moves the rows into the totals, so a row is counted in exactly one place
  // whatever else commits meanwhile.
  const auto 移动 = 会话->执行(
      "WITH gone AS (DELETE FROM results WHERE received_at < $1 "
      "RETURNING target_release_id, result, failure_stage, error_code), "
      "summed AS (INSERT INTO result_totals (release_id, result, failure_stage, error_code, count) "
      "SELECT target_release_id, result, failure_stage, error_code, COUNT(*) FROM gone GROUP BY 1, 2, 3, 4 "
      "ON CONFLICT (release_id, result, failure_stage, error_code) DO UPDATE "
      "SET count = result_totals.count + excluded.count) SELECT COUNT(*) FROM gone",
      {数(截止)});
  if (!事务.已开始() || !移动.成功() || 移动.行数() != 1) return false;
  *已删除 = 移动.整数(0, 0);
  const std::string 内容 = 审计.what + " (" + std::to_string(*已删除) + " rows)";
  return 会话->执行("INSERT INTO audit (at, who, what) VALUES ($1, $2, $3)", {数(审计.at), 审计.who, 内容}).成功() &&
         事务.提交();
}

std::vector<隔离事件> PG存储::读取隔离(std::uint32_t 最多) {
  std::vector<隔离事件> 结果;
  auto 会话 = 池_.借出(nullptr);
  if (!会话) return 结果;
  const auto 行 = 会话->执行("SELECT idempotency_key, body, reason, received_at FROM poison_events "
                             "ORDER BY received_at DESC LIMIT $1",
                             {数(最多)});
  for (int i = 0; i < 行.行数(); ++i) 结果.push_back({行.文本(i, 0), 行.文本(i, 1), 行.文本(i, 2), 行.整数(i, 3)});
  return 结果;
}

std::vector<结果分组> PG存储::发布总计(const std::string& 发布标识) {
  std::vector<结果分组> 结果;
  auto 会话 = 池_.借出(nullptr);
  if (!会话) return 结果;
  const auto 行 = 会话->执行("SELECT result, failure_stage, error_code, SUM(n) FROM ("
                             "SELECT result, failure_stage, error_code, count AS n FROM result_totals WHERE release_id = $1 "
                             "UNION ALL SELECT result, failure_stage, error_code, 1 FROM results WHERE target_release_id = $1"
                             ") AS rows GROUP BY 1, 2, 3 ORDER BY 4 DESC",
                             {发布标识});
  for (int i = 0; i < 行.行数(); ++i) {
    结果.push_back({行.文本(i, 0), 行.文本(i, 1), static_cast<std::uint32_t>(行.整数(i, 2)), 行.整数(i, 3)});
  }
  return 结果;
}

}  // namespace tallybell::服务
