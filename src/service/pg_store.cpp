#include "service/pg_store.h"

#include "service/pg_schema.h"
#include "service/policy_issue.h"
#include "service/rollout_rules.h"

namespace tallybell::服务 {
namespace {

std::string 数(std::uint64_t 值) { return std::to_string(值); }

const char* const 推出列 =
    "SELECT id, channel, target, base, state, steps, step_index, percent, step_seconds, "
    "step_started_at, halt_reason, min_results, max_failures, max_failure_percent, silent_after, "
    "min_silent, max_silent_percent, created_at FROM rollouts";

推出记录 推出行(const PG结果& 行, int i) {
  推出记录 推出;
  推出.id = 行.整数(i, 0);
  推出.channel = 行.文本(i, 1);
  推出.target = 行.文本(i, 2);
  推出.base = 行.文本(i, 3);
  解析推出状态(行.文本(i, 4), &推出.state);
  解析步骤(行.文本(i, 5), &推出.steps);
  推出.stepIndex = static_cast<std::uint32_t>(行.整数(i, 6));
  推出.percent = static_cast<std::uint32_t>(行.整数(i, 7));
  推出.stepSeconds = 行.整数(i, 8);
  推出.stepStartedAt = 行.整数(i, 9);
  推出.haltReason = 行.文本(i, 10);
  推出.limits.minResults = static_cast<std::uint32_t>(行.整数(i, 11));
  推出.limits.maxFailures = static_cast<std::uint32_t>(行.整数(i, 12));
  推出.limits.maxFailurePercent = static_cast<std::uint32_t>(行.整数(i, 13));
  推出.limits.silentAfterSeconds = 行.整数(i, 14);
  推出.limits.minSilentOffers = static_cast<std::uint32_t>(行.整数(i, 15));
  推出.limits.maxSilentPercent = static_cast<std::uint32_t>(行.整数(i, 16));
  推出.createdAt = 行.整数(i, 17);
  return 推出;
}

bool 写审计(PG会话& 会话, const 审计条目& 审计) {
  return 会话.执行("INSERT INTO audit (at, who, what) VALUES ($1, $2, $3)", {数(审计.at), 审计.who, 审计.what}).成功();
}

}  // namespace

PG存储::PG存储(const std::string& 连接串, std::size_t 连接上限, 服务时钟 时钟)
    : 池_(连接串, 连接上限), 时钟_(std::move(时钟)) {}

bool PG存储::准备(const 服务设置* 新设置, std::string* 错误) {
  auto 会话 = 池_.借出(错误);
  if (!会话 || !升级PG结构(*会话, 错误)) return false;
  if (!新设置) {
    const auto 行 = 会话->执行("SELECT 1 FROM service_state WHERE public_url IS NOT NULL");
    if (行.成功() && 行.行数() == 1) return true;
    if (错误) *错误 = 行.成功() ? "the database is not initialised (run `tallybell-service init`)" : 会话->最后错误();
    return false;
  }
  const auto 行 = 会话->执行("UPDATE service_state SET public_url = $1, check_interval = $2 WHERE public_url IS NULL",
                             {新设置->publicUrl, 数(新设置->checkIntervalSeconds)});
  if (!行.成功()) {
    if (错误) *错误 = 会话->最后错误();
    return false;
  }
  if (行.变更数() == 0) {
    if (错误) *错误 = "the database is already initialised";
    return false;
  }
  return true;
}

添加结果 PG存储::添加发布(const 发布记录& 发布, const 审计条目& 审计) {
  auto 会话 = 池_.借出(nullptr);
  if (!会话) return 添加结果::失败;
  PG事务 事务(*会话);
  if (!事务.已开始()) return 添加结果::失败;
  const auto 插入 = 会话->执行("INSERT INTO releases (release_id, manifest_url, manifest_hash, manifest_signature, "
                               "added_at) VALUES ($1, $2, $3, $4, $5) ON CONFLICT (release_id) DO NOTHING",
                               {发布.releaseId, 发布.manifestUrl, 发布.manifestHash, 发布.manifestSignature, 数(发布.addedAt)});
  if (!插入.成功()) return 添加结果::失败;
  if (插入.变更数() == 0) {
    const auto 行 = 会话->执行("SELECT manifest_url, manifest_hash, manifest_signature FROM releases WHERE release_id = $1",
                               {发布.releaseId});
    if (!行.成功() || 行.行数() != 1) return 添加结果::失败;
    const bool 相同 = 行.文本(0, 0) == 发布.manifestUrl && 行.文本(0, 1) == 发布.manifestHash &&
                      行.文本(0, 2) == 发布.manifestSignature;
    return 相同 ? 添加结果::已存在 : 添加结果::冲突;
  }
  return 写审计(*会话, 审计) && 事务.提交() ? 添加结果::已添加 : 添加结果::失败;
}

std::vector<发布记录> PG存储::列出发布() {
  std::vector<发布记录> 结果;
  auto 会话 = 池_.借出(nullptr);
  if (!会话) return 结果;
  const auto 行 = 会话->执行("SELECT release_id, manifest_url, manifest_hash, manifest_signature, added_at "
                             "FROM releases ORDER BY added_at, release_id");
  for (int i = 0; i < 行.行数(); ++i) {
    结果.push_back({行.文本(i, 0), 行.文本(i, 1), 行.文本(i, 2), 行.文本(i, 3), 行.整数(i, 4)});
  }
  return 结果;
}

bool PG存储::读取修订(std::uint64_t* 修订) {
  auto 会话 = 池_.借出(nullptr);
  if (!会话) return false;
  const auto 行 = 会话->执行("SELECT revision, check_window, check_interval FROM service_state WHERE check_interval > 0");
  if (!行.成功() || 行.行数() != 1) return false;
  *修订 = 行.整数(0, 0);
  const std::uint64_t 窗口 = 时钟_.现在() / 行.整数(0, 2);
  if (窗口 <= 行.整数(0, 1) || *修订 >= 最大修订) return true;
  // Whichever instance gets here first moves the window; the others' updates match nothing.
  const auto 推进 = 会话->执行("UPDATE service_state SET check_window = $1, revision = revision + 1 "
                               "WHERE check_window < $1 RETURNING revision",
                               {数(窗口)});
  if (!推进.成功()) return false;
  if (推进.行数() == 1) *修订 = 推进.整数(0, 0);
  return true;
}

bool PG存储::读取快照(服务快照* 快照) {
  auto 会话 = 池_.借出(nullptr);
  if (!会话) return false;
  // One snapshot of the database, so the revision and the rows belong together.
  PG事务 事务(*会话, "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
  const auto 状态 = 会话->执行("SELECT revision, check_window, public_url, check_interval FROM service_state "
                               "WHERE public_url IS NOT NULL");
  const auto 推出 = 会话->执行((std::string(推出列) + " WHERE id IN (SELECT rollout_id FROM channels)").c_str());
  const auto 发布 = 会话->执行("SELECT release_id, manifest_url, manifest_hash, manifest_signature, added_at FROM releases");
  if (!事务.已开始() || !状态.成功() || 状态.行数() != 1 || !推出.成功() || !发布.成功() || !事务.提交()) return false;
  服务快照 结果;
  结果.revision = 状态.整数(0, 0);
  结果.window = 状态.整数(0, 1);
  结果.settings.publicUrl = 状态.文本(0, 2);
  结果.settings.checkIntervalSeconds = 状态.整数(0, 3);
  for (int i = 0; i < 推出.行数(); ++i) {
    auto 记录 = 推出行(推出, i);
    结果.rollouts[记录.channel] = std::move(记录);
  }
  for (int i = 0; i < 发布.行数(); ++i) {
    结果.releases[发布.文本(i, 0)] = {发布.文本(i, 0), 发布.文本(i, 1), 发布.文本(i, 2), 发布.文本(i, 3), 发布.整数(i, 4)};
  }
  *快照 = std::move(结果);
  return true;
}

bool PG存储::保存推出(推出记录* 推出, const 审计条目& 审计, std::uint64_t 期望修订) {
  auto 会话 = 池_.借出(nullptr);
  if (!会话) return false;
  PG事务 事务(*会话);
  // The row lock makes this a compare-and-set across instances: of two writers at the same
  // revision, the second finds it raised and stores nothing.
  const auto 修订 = 会话->执行("SELECT revision FROM service_state FOR UPDATE");
  if (!事务.已开始() || !修订.成功() || 修订.行数() != 1 || 修订.整数(0, 0) != 期望修订) return false;
  const auto& 限 = 推出->limits;
  std::vector<std::string> 值 = {推出->channel, 推出->target, 推出->base, 推出状态文本(推出->state),
                                 步骤文本(推出->steps), 数(推出->stepIndex), 数(推出->percent), 数(推出->stepSeconds),
                                 数(推出->stepStartedAt), 推出->haltReason, 数(限.minResults), 数(限.maxFailures),
                                 数(限.maxFailurePercent), 数(限.silentAfterSeconds), 数(限.minSilentOffers),
                                 数(限.maxSilentPercent), 数(推出->createdAt)};
  const bool 新建 = 推出->id == 0;
  if (!新建) 值.push_back(数(推出->id));
  const auto 写入 = 会话->执行(
      新建 ? "INSERT INTO rollouts (channel, target, base, state, steps, step_index, percent, step_seconds, "
             "step_started_at, halt_reason, min_results, max_failures, max_failure_percent, silent_after, min_silent, "
             "max_silent_percent, created_at) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13, $14, "
             "$15, $16, $17) RETURNING id"
           : "UPDATE rollouts SET channel = $1, target = $2, base = $3, state = $4, steps = $5, step_index = $6, "
             "percent = $7, step_seconds = $8, step_started_at = $9, halt_reason = $10, min_results = $11, "
             "max_failures = $12, max_failure_percent = $13, silent_after = $14, min_silent = $15, "
             "max_silent_percent = $16, created_at = $17 WHERE id = $18",
      值);
  if (!写入.成功()) return false;
  if (新建) {
    if (写入.行数() != 1) return false;
    推出->id = 写入.整数(0, 0);
    if (!会话->执行("INSERT INTO channels (channel, rollout_id) VALUES ($1, $2) "
                    "ON CONFLICT (channel) DO UPDATE SET rollout_id = excluded.rollout_id",
                    {推出->channel, 数(推出->id)}).成功()) {
      return false;
    }
  }
  return 会话->执行("UPDATE service_state SET revision = $1", {数(期望修订 + 1)}).成功() && 写审计(*会话, 审计) &&
         事务.提交();
}

std::vector<审计条目> PG存储::读取审计(std::uint32_t 最多) {
  std::vector<审计条目> 结果;
  auto 会话 = 池_.借出(nullptr);
  if (!会话) return 结果;
  const auto 行 = 会话->执行("SELECT at, who, what FROM (SELECT id, at, who, what FROM audit ORDER BY id DESC "
                             "LIMIT $1) AS last ORDER BY id",
                             {数(最多)});
  for (int i = 0; i < 行.行数(); ++i) 结果.push_back({行.整数(i, 0), 行.文本(i, 1), 行.文本(i, 2)});
  return 结果;
}

}  // namespace tallybell::服务
