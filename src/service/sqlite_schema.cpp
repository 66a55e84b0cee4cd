#include "service/sqlite_schema.h"

#include <iterator>

namespace tallybell::服务 {
namespace {

// Step n brings the schema from version n to n + 1. Steps are only ever appended.
const char* const 升级步骤[] = {
    R"sql(
CREATE TABLE settings (key TEXT PRIMARY KEY, value TEXT NOT NULL);
CREATE TABLE releases (
  release_id TEXT PRIMARY KEY, manifest_url TEXT NOT NULL, manifest_hash TEXT NOT NULL,
  manifest_signature TEXT NOT NULL, added_at INTEGER NOT NULL);
CREATE TABLE rollouts (
  id INTEGER PRIMARY KEY AUTOINCREMENT, channel TEXT NOT NULL, target TEXT NOT NULL,
  base TEXT NOT NULL, state TEXT NOT NULL, steps TEXT NOT NULL, step_index INTEGER NOT NULL,
  percent INTEGER NOT NULL, step_seconds INTEGER NOT NULL, step_started_at INTEGER NOT NULL,
  halt_reason TEXT NOT NULL, min_results INTEGER NOT NULL, max_failures INTEGER NOT NULL,
  max_failure_percent INTEGER NOT NULL, silent_after INTEGER NOT NULL,
  min_silent INTEGER NOT NULL, max_silent_percent INTEGER NOT NULL, created_at INTEGER NOT NULL);
CREATE TABLE channels (channel TEXT PRIMARY KEY, rollout_id INTEGER NOT NULL);
CREATE TABLE results (
  event_id TEXT PRIMARY KEY, installation_id TEXT NOT NULL, assignment_id TEXT NOT NULL,
  policy_version INTEGER NOT NULL, original_release_id TEXT NOT NULL,
  target_release_id TEXT NOT NULL, final_release_id TEXT NOT NULL, result TEXT NOT NULL,
  failure_stage TEXT NOT NULL, error_code INTEGER NOT NULL, task_id TEXT NOT NULL,
  occurred_at TEXT NOT NULL, received_at INTEGER NOT NULL);
CREATE INDEX results_by_assignment ON results (assignment_id, target_release_id, installation_id);
CREATE INDEX results_by_age ON results (received_at);
CREATE TABLE offers (
  rollout_id INTEGER NOT NULL, installation_id TEXT NOT NULL, step_index INTEGER NOT NULL,
  offered_at INTEGER NOT NULL, PRIMARY KEY (rollout_id, installation_id)) WITHOUT ROWID;
CREATE TABLE poison_events (
  idempotency_key TEXT PRIMARY KEY, body BLOB NOT NULL, reason TEXT NOT NULL,
  received_at INTEGER NOT NULL);
CREATE TABLE result_totals (
  release_id TEXT NOT NULL, result TEXT NOT NULL, failure_stage TEXT NOT NULL,
  error_code INTEGER NOT NULL, count INTEGER NOT NULL,
  PRIMARY KEY (release_id, result, failure_stage, error_code)) WITHOUT ROWID;
CREATE TABLE audit (id INTEGER PRIMARY KEY AUTOINCREMENT, at INTEGER NOT NULL,
  who TEXT NOT NULL, what TEXT NOT NULL);
INSERT INTO settings (key, value) VALUES ('revision', '1');
)sql",
};

constexpr long long 最新版本 = static_cast<long long>(std::size(升级步骤));

bool 读取版本(SQLite连接& 连接, long long* 版本) {
  SQLite语句 语句(连接, "PRAGMA user_version");
  if (语句.步进() != SQLITE_ROW) return false;
  *版本 = static_cast<long long>(语句.整数(0));
  return true;
}

}  // namespace

bool 升级SQLite结构(SQLite连接& 连接, std::string* 错误) {
  for (;;) {
    SQLite事务 事务(连接);
    long long 版本 = 0;
    if (!事务.已开始() || !读取版本(连接, &版本)) {
      if (错误) *错误 = 连接.最后错误();
      return false;
    }
    if (版本 == 最新版本) return true;
    if (版本 > 最新版本 || 版本 < 0) {
      if (错误) *错误 = "the database was written by a newer service (schema " + std::to_string(版本) + ")";
      return false;
    }
    const std::string 版本语句 = "PRAGMA user_version = " + std::to_string(版本 + 1);
    if (!连接.执行(升级步骤[版本], 错误) || !连接.执行(版本语句.c_str(), 错误) || !事务.提交()) {
      if (错误 && 错误->empty()) *错误 = 连接.最后错误();
      return false;
    }
  }
}

}  // namespace tallybell::服务
