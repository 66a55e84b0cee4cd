#include "service/sqlite_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "service/rollout_rules.h"
#include "service/sqlite_schema.h"

namespace tallybell::服务 {
namespace {

const char* const 推出列 =
    "SELECT id, channel, target, base, state, steps, step_index, percent, step_seconds, "
    "step_started_at, halt_reason, min_results, max_failures, max_failure_percent, silent_after, "
    "min_silent, max_silent_percent, created_at FROM rollouts";

推出记录 推出行(const SQLite语句& 行) {
  推出记录 推出;
  推出.id = 行.整数(0);
  推出.channel = 行.文本(1);
  推出.target = 行.文本(2);
  推出.base = 行.文本(3);
  解析推出状态(行.文本(4), &推出.state);
  解析步骤(行.文本(5), &推出.steps);
  推出.stepIndex = static_cast<std::uint32_t>(行.整数(6));
  推出.percent = static_cast<std::uint32_t>(行.整数(7));
  推出.stepSeconds = 行.整数(8);
  推出.stepStartedAt = 行.整数(9);
  推出.haltReason = 行.文本(10);
  推出.limits.minResults = static_cast<std::uint32_t>(行.整数(11));
  推出.limits.maxFailures = static_cast<std::uint32_t>(行.整数(12));
  推出.limits.maxFailurePercent = static_cast<std::uint32_t>(行.整数(13));
  推出.limits.silentAfterSeconds = 行.整数(14);
  推出.limits.minSilentOffers = static_cast<std::uint32_t>(行.整数(15));
  推出.limits.maxSilentPercent = static_cast<std::uint32_t>(行.整数(16));
  推出.createdAt = 行.整数(17);
  return 推出;
}

}  // namespace

bool SQLite存储::打开(const std::string& 路径, std::string* 错误) {
  // The file holds every installation's identifier: readable by the service's user only,
  // from the moment it exists.
  const int 文件 = ::open(路径.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (文件 < 0) {
    if (错误) *错误 = "cannot open " + 路径;
    return false;
  }
  ::close(文件);
  if (!连接_.打开(路径, 错误)) return false;
  return 连接_.执行("PRAGMA journal_mode = WAL", 错误) && 连接_.执行("PRAGMA synchronous = FULL", 错误) &&
         连接_.执行("PRAGMA foreign_keys = ON", 错误);
}

bool SQLite存储::准备(const 服务设置* 新设置, std::string* 错误) {
  std::lock_guard<std::mutex> 守卫(锁_);
  if (!升级SQLite结构(连接_, 错误)) return false;
  if (!新设置) {
    std::string 值;
    if (读设置("public_url", &值)) return true;
    if (错误) *错误 = "the database is not initialised (run `tallybell-service init`)";
    return false;
  }
  SQLite事务 事务(连接_);
  std::string 旧值;
  if (读设置("public_url", &旧值)) {
    if (错误) *错误 = "the database is already initialised";
    return false;
  }
  if (!写设置("public_url", 新设置->publicUrl) ||
      !写设置("check_interval", std::to_string(新设置->checkIntervalSeconds)) || !事务.提交()) {
    if (错误) *错误 = 连接_.最后错误();
    return false;
  }
  return true;
}

bool SQLite存储::读设置(const char* 键, std::string* 值) {
  SQLite语句 语句(连接_, "SELECT value FROM settings WHERE key = ?");
  语句.绑定(0, std::string(键));
  if (语句.步进() != SQLITE_ROW) return false;
  *值 = 语句.文本(0);
  return true;
}

bool SQLite存储::写设置(const char* 键, const std::string& 值) {
  SQLite语句 语句(连接_, "INSERT INTO settings (key, value) VALUES (?, ?) "
                         "ON CONFLICT (key) DO UPDATE SET value = excluded.value");
  return 语句.绑定(0, std::string(键)).绑定(1, 值).执行();
}

bool SQLite存储::写审计(const 审计条目& 审计) {
  SQLite语句 语句(连接_, "INSERT INTO audit (at, who, what) VALUES (?, ?, ?)");
  return 语句.绑定(0, 审计.at).绑定(1, 审计.who).绑定(2, 审计.what).执行();
}

添加结果 SQLite存储::添加发布(const 发布记录& 发布, const 审计条目& 审计) {
  std::lock_guard<std::mutex> 守卫(锁_);
  SQLite事务 事务(连接_);
  if (!事务.已开始()) return 添加结果::失败;
  SQLite语句 查找(连接_, "SELECT manifest_url, manifest_hash, manifest_signature FROM releases WHERE release_id = ?");
  查找.绑定(0, 发布.releaseId);
  if (const int 步 = 查找.步进(); 步 == SQLITE_ROW) {
    const bool 相同 = 查找.文本(0) == 发布.manifestUrl && 查找.文本(1) == 发布.manifestHash &&
                      查找.文本(2) == 发布.manifestSignature;
    return 相同 ? 添加结果::已存在 : 添加结果::冲突;
  } else if (步 != SQLITE_DONE) {
    return 添加结果::失败;
  }
  SQLite语句 插入(连接_, "INSERT INTO releases (release_id, manifest_url, manifest_hash, manifest_signature, "
                         "added_at) VALUES (?, ?, ?, ?, ?)");
  插入.绑定(0, 发布.releaseId).绑定(1, 发布.manifestUrl).绑定(2, 发布.manifestHash);
  插入.绑定(3, 发布.manifestSignature).绑定(4, 发布.addedAt);
  return 插入.执行() && 写审计(审计) && 事务.提交() ? 添加结果::已添加 : 添加结果::失败;
}

std::vector<发布记录> SQLite存储::列出发布() {
  std::lock_guard<std::mutex> 守卫(锁_);
  std::vector<发布记录> 结果;
  SQLite语句 语句(连接_, "SELECT release_id, manifest_url, manifest_hash, manifest_signature, added_at "
                         "FROM releases ORDER BY added_at, release_id");
  while (语句.步进() == SQLITE_ROW) {
    结果.push_back({语句.文本(0), 语句.文本(1), 语句.文本(2), 语句.文本(3), 语句.整数(4)});
  }
  return 结果;
}

bool SQLite存储::读取修订(std::uint64_t* 修订) {
  std::lock_guard<std::mutex> 守卫(锁_);
  std::string 值;
  if (!读设置("revision", &值)) return false;
  *修订 = std::strtoull(值.c_str(), nullptr, 10);
  return true;
}

bool SQLite存储::读取快照(服务快照* 快照) {
  std::lock_guard<std::mutex> 守卫(锁_);
  // One read transaction, so the revision and the rows belong together.
  if (!连接_.执行("BEGIN")) return false;
  服务快照 结果;
  std::string 修订, 间隔;
  bool 成功 = 读设置("revision", &修订) && 读设置("check_interval", &间隔) &&
              读设置("public_url", &结果.settings.publicUrl);
  结果.revision = std::strtoull(修订.c_str(), nullptr, 10);
  结果.settings.checkIntervalSeconds = std::strtoull(间隔.c_str(), nullptr, 10);
  SQLite语句 推出(连接_, (std::string(推出列) + " WHERE id IN (SELECT rollout_id FROM channels)").c_str());
  int 步;
  while (成功 && (步 = 推出.步进()) == SQLITE_ROW) {
    auto 记录 = 推出行(推出);
    结果.rollouts[记录.channel] = std::move(记录);
  }
  SQLite语句 发布(连接_, "SELECT release_id, manifest_url, manifest_hash, manifest_signature, added_at FROM releases");
  while (成功 && (步 = 发布.步进()) == SQLITE_ROW) {
    结果.releases[发布.文本(0)] = {发布.文本(0), 发布.文本(1), 发布.文本(2), 发布.文本(3), 发布.整数(4)};
  }
  连接_.执行("COMMIT");
  if (成功) *快照 = std::move(结果);
  return 成功;
}

bool SQLite存储::保存推出(推出记录* 推出, const 审计条目& 审计, std::uint64_t 期望修订) {
  std::lock_guard<std::mutex> 守卫(锁_);
  SQLite事务 事务(连接_);
  std::string 修订;
  if (!事务.已开始() || !读设置("revision", &修订) || std::strtoull(修订.c_str(), nullptr, 10) != 期望修订) {
    return false;
  }
  const bool 新建 = 推出->id == 0;
  SQLite语句 语句(连接_, 新建 ? "INSERT INTO rollouts (channel, target, base, state, steps, step_index, percent, "
                                "step_seconds, step_started_at, halt_reason, min_results, max_failures, "
                                "max_failure_percent, silent_after, min_silent, max_silent_percent, created_at, id) "
                                "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, NULL)"
                              : "UPDATE rollouts SET channel = ?, target = ?, base = ?, state = ?, steps = ?, "
                                "step_index = ?, percent = ?, step_seconds = ?, step_started_at = ?, "
                                "halt_reason = ?, min_results = ?, max_failures = ?, max_failure_percent = ?, "
                                "silent_after = ?, min_silent = ?, max_silent_percent = ?, created_at = ? "
                                "WHERE id = ?");
  语句.绑定(0, 推出->channel).绑定(1, 推出->target).绑定(2, 推出->base);
  语句.绑定(3, std::string(推出状态文本(推出->state))).绑定(4, 步骤文本(推出->steps));
  语句.绑定(5, std::uint64_t{推出->stepIndex}).绑定(6, std::uint64_t{推出->percent});
  语句.绑定(7, 推出->stepSeconds).绑定(8, 推出->stepStartedAt).绑定(9, 推出->haltReason);
  const auto& 限 = 推出->limits;
  语句.绑定(10, std::uint64_t{限.minResults}).绑定(11, std::uint64_t{限.maxFailures});
  语句.绑定(12, std::uint64_t{限.maxFailurePercent}).绑定(13, 限.silentAfterSeconds);
  语句.绑定(14, std::uint64_t{限.minSilentOffers}).绑定(15, std::uint64_t{限.maxSilentPercent});
  语句.绑定(16, 推出->createdAt);
  if (!新建) 语句.绑定(17, 推出->id);
  if (!语句.执行()) return false;
  if (新建) {
    推出->id = static_cast<std::uint64_t>(::sqlite3_last_insert_rowid(连接_.get()));
    SQLite语句 频道(连接_, "INSERT INTO channels (channel, rollout_id) VALUES (?, ?) "
                           "ON CONFLICT (channel) DO UPDATE SET rollout_id = excluded.rollout_id");
    if (!频道.绑定(0, 推出->channel).绑定(1, 推出->id).执行()) return false;
  }
  return 写设置("revision", std::to_string(期望修订 + 1)) && 写审计(审计) && 事务.提交();
}

std::vector<审计条目> SQLite存储::读取审计(std::uint32_t 最多) {
  std::lock_guard<std::mutex> 守卫(锁_);
  std::vector<审计条目> 结果;
  SQLite语句 语句(连接_, "SELECT at, who, what FROM (SELECT id, at, who, what FROM audit ORDER BY id DESC "
                         "LIMIT ?) ORDER BY id");
  语句.绑定(0, std::uint64_t{最多});
  while (语句.步进() == SQLITE_ROW) 结果.push_back({语句.整数(0), 语句.文本(1), 语句.文本(2)});
  return 结果;
}

std::unique_ptr<服务存储> 打开SQLite存储(const std::string& 路径, std::string* 错误) {
  auto 存储 = std::make_unique<SQLite存储>();
  if (!存储->打开(路径, 错误)) return nullptr;
  return 存储;
}

}  // namespace tallybell::服务
