#include "service/pg_schema.h"

#include <iterator>

namespace tallybell::服务 {
namespace {

// Step n brings the schema from version n to n + 1. Steps are only ever appended.
// service_state holds one row: the revision every instance polls, the check window all of
// them number policies by (so their clocks need not agree) and the settings.
const char* const 升级步骤[] = {
    R"sql(
CREATE TABLE service_state (
  id INTEGER PRIMARY KEY CHECK (id = 1), revision BIGINT NOT NULL, check_window BIGINT NOT NULL,
  public_url TEXT, check_interval BIGINT);
CREATE TABLE releases (
  release_id TEXT PRIMARY KEY, manifest_url TEXT NOT NULL, manifest_hash TEXT NOT NULL,
  manifest_signature TEXT NOT NULL, added_at BIGINT NOT NULL);
CREATE TABLE rollouts (
  id BIGSERIAL PRIMARY KEY, channel TEXT NOT NULL, target TEXT NOT NULL,
  base TEXT NOT NULL, state TEXT NOT NULL, steps TEXT NOT NULL, step_index BIGINT NOT NULL,
  percent BIGINT NOT NULL, step_seconds BIGINT NOT NULL, step_started_at BIGINT NOT NULL,
  halt_reason TEXT NOT NULL, min_results BIGINT NOT NULL, max_failures BIGINT NOT NULL,
  max_failure_percent BIGINT NOT NULL, silent_after BIGINT NOT NULL,
  min_silent BIGINT NOT NULL, max_silent_percent BIGINT NOT NULL, created_at BIGINT NOT NULL);
CREATE TABLE channels (channel TEXT PRIMARY KEY, rollout_id BIGINT NOT NULL);
CREATE TABLE results (
  event_id TEXT PRIMARY KEY, installation_id TEXT NOT NULL, assignment_id TEXT NOT NULL,
  policy_version NUMERIC(20) NOT NULL, original_release_id TEXT NOT NULL,
  target_release_id TEXT NOT NULL, final_release_id TEXT NOT NULL, result TEXT NOT NULL,
  failure_stage TEXT NOT NULL, error_code BIGINT NOT NULL, task_id TEXT NOT NULL,
  occurred_at TEXT NOT NULL, received_at BIGINT NOT NULL);
CREATE INDEX results_by_assignment ON results (assignment_id, target_release_id, installation_id);
CREATE INDEX results_by_age ON results (received_at);
CREATE TABLE offers (
  rollout_id BIGINT NOT NULL, installation_id TEXT NOT NULL, step_index BIGINT NOT NULL,
  offered_at BIGINT NOT NULL, PRIMARY KEY (rollout_id, installation_id));
CREATE TABLE poison_events (
  idempotency_key TEXT PRIMARY KEY, body TEXT NOT NULL, reason TEXT NOT NULL,
  received_at BIGINT NOT NULL);
CREATE TABLE result_totals (
  release_id TEXT NOT NULL, result TEXT NOT NULL, failure_stage TEXT NOT NULL,
  error_code BIGINT NOT NULL, count BIGINT NOT NULL,
  PRIMARY KEY (release_id, result, failure_stage, error_code));
CREATE TABLE audit (id BIGSERIAL PRIMARY KEY, at BIGINT NOT NULL, who TEXT NOT NULL, what TEXT NOT NULL);
INSERT INTO service_state (id, revision, check_window) VALUES (1, 1, 0);
)sql",
};

constexpr unsigned long long 最新版本 = std::size(升级步骤);

}  // namespace

bool 升级PG结构(PG会话& 会话, std::string* 错误) {
  for (;;) {
    PG事务 事务(会话);
    // Any constant both sides agree on; it only serialises schema upgrades.
    const bool 已锁 = 事务.已开始() && 会话.执行("SELECT pg_advisory_xact_lock(7342158)").成功() &&
                      会话.运行("CREATE TABLE IF NOT EXISTS tallybell_schema (version BIGINT NOT NULL)");
    const PG结果 版本行 = 会话.执行("SELECT version FROM tallybell_schema");
    if (!已锁 || !版本行.成功()) {
      if (错误) *错误 = 会话.最后错误();
      return false;
    }
    const unsigned long long 版本 = 版本行.行数() ? 版本行.整数(0, 0) : 0;
    if (版本 == 最新版本) {
      if (事务.提交()) return true;
      if (错误) *错误 = 会话.最后错误();
      return false;
    }
    if (版本 > 最新版本) {
      if (错误) *错误 = "the database was written by a newer service (schema " + std::to_string(版本) + ")";
      return false;
    }
    const bool 成功 = 会话.运行(升级步骤[版本]) && 会话.运行("DELETE FROM tallybell_schema") &&
                      会话.执行("INSERT INTO tallybell_schema (version) VALUES ($1)", {std::to_string(版本 + 1)}).成功() &&
                      事务.提交();
    if (!成功) {
      if (错误) *错误 = 会话.最后错误();
      return false;
    }
  }
}

}  // namespace tallybell::服务
