#include "service/pg_handles.h"

#include <cstdlib>

namespace tallybell::服务 {
namespace {

void 忽略通知(void*, const char*) {}

}  // namespace

bool PG结果::成功() const {
  if (!结果_) return false;
  const auto 状态 = ::PQresultStatus(结果_.get());
  return 状态 == PGRES_COMMAND_OK || 状态 == PGRES_TUPLES_OK;
}

std::string PG结果::文本(int 行, int 列) const {
  return std::string(::PQgetvalue(结果_.get(), 行, 列), static_cast<std::size_t>(::PQgetlength(结果_.get(), 行, 列)));
}

std::uint64_t PG结果::整数(int 行, int 列) const {
  return std::strtoull(::PQgetvalue(结果_.get(), 行, 列), nullptr, 10);
}

std::uint64_t PG结果::变更数() const {
  return 结果_ ? std::strtoull(::PQcmdTuples(结果_.get()), nullptr, 10) : 0;
}

PG结果 PG会话::执行(const char* sql, const std::vector<std::string>& 参数) {
  std::vector<const char*> 值;
  std::vector<int> 长度;
  for (const auto& 项 : 参数) {
    值.push_back(项.c_str());
    长度.push_back(static_cast<int>(项.size()));
  }
  return PG结果(::PQexecParams(连接_.get(), sql, static_cast<int>(参数.size()), nullptr, 值.data(), 长度.data(),
                               nullptr, 0));
}

bool PG会话::运行(const char* sql) {
  PG结果 结果(::PQexec(连接_.get(), sql));
  return 结果.成功();
}

std::string PG会话::最后错误() const {
  std::string 消息 = ::PQerrorMessage(连接_.get());
  while (!消息.empty() && (消息.back() == '\n' || 消息.back() == ' ')) 消息.pop_back();
  return 消息;
}

PG事务::PG事务(PG会话& 会话, const char* 开始语句) : 会话_(会话), 开始_(会话.运行(开始语句)) {}

PG事务::~PG事务() {
  if (开始_ && !完成_ && !会话_.已断开()) 会话_.运行("ROLLBACK");
}

bool PG事务::提交() {
  if (!开始_ || 完成_) return false;
  完成_ = true;
  return 会话_.运行("COMMIT");
}

PG连接池::PG连接池(std::string 连接串, std::size_t 上限) : 连接串_(std::move(连接串)), 上限_(上限) {}

PG连接池::借用::~借用() {
  if (池_ && 会话_) 池_->归还(std::move(会话_));
}

void PG连接池::归还(std::unique_ptr<PG会话> 会话) {
  {
    std::lock_guard<std::mutex> 守卫(锁_);
    --已借出_;
    if (!会话->已断开()) 空闲_.push_back(std::move(会话));
  }
  有空闲_.notify_one();
}

PG连接池::借用 PG连接池::借出(std::string* 错误) {
  using namespace std::chrono;
  std::unique_lock<std::mutex> 锁(锁_);
  const bool 有 = 有空闲_.wait_for(锁, seconds(5), [this] { return !空闲_.empty() || 已借出_ < 上限_; });
  if (!有) {
    if (错误) *错误 = "every database connection is busy";
    return {};
  }
  if (!空闲_.empty()) {
    auto 会话 = std::move(空闲_.back());
    空闲_.pop_back();
    ++已借出_;
    return 借用(this, std::move(会话));
  }
  if (steady_clock::now() < 暂停至_) {
    if (错误) *错误 = "the database is unreachable";
    return {};
  }
  ++已借出_;
  锁.unlock();
  // The caller's own settings come first in the expanded string, so a connect_timeout given
  // there wins over this default.
  const char* 键[] = {"connect_timeout", "dbname", nullptr};
  const char* 值[] = {"3", 连接串_.c_str(), nullptr};
  PG连接指针 连接(::PQconnectdbParams(键, 值, 1));
  bool 可用 = 连接 && ::PQstatus(连接.get()) == CONNECTION_OK;
  if (可用) {
    ::PQsetNoticeProcessor(连接.get(), 忽略通知, nullptr);
    // A commit must be on the server's disk before an installation is told its event is
    // stored, whatever the server's default is.
    PG结果 设置(::PQexec(连接.get(), "SET synchronous_commit = on"));
    可用 = 设置.成功();
  }
  锁.lock();
  if (!可用) {
    --已借出_;
    暂停至_ = steady_clock::now() + milliseconds(500);
    if (错误) *错误 = 连接 ? ::PQerrorMessage(连接.get()) : "out of memory";
    有空闲_.notify_one();
    return {};
  }
  return 借用(this, std::make_unique<PG会话>(std::move(连接)));
}

}  // namespace tallybell::服务
