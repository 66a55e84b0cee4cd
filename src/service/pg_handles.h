// Scoped libpq handles, parameterised statements and a bounded connection pool. Values
// only ever reach SQL as statement parameters, never inside the statement text.
#pragma once

#include <libpq-fe.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tallybell::服务 {

struct PG连接释放 {
  void operator()(PGconn* 连接) const { ::PQfinish(连接); }
};
using PG连接指针 = std::unique_ptr<PGconn, PG连接释放>;

// One statement's result; 成功 when the server completed it.
class PG结果 {
 public:
  explicit PG结果(PGresult* 结果) : 结果_(结果) {}
  bool 成功() const;
  int 行数() const { return 结果_ ? ::PQntuples(结果_.get()) : 0; }
  std::string 文本(int 行, int 列) const;
  std::uint64_t 整数(int 行, int 列) const;
  bool 为空(int 行, int 列) const { return ::PQgetisnull(结果_.get(), 行, 列) != 0; }
  // Rows the statement changed (INSERT, UPDATE, DELETE).
  std::uint64_t 变更数() const;

 private:
  struct 释放 {
    void operator()(PGresult* 结果) const { ::PQclear(结果); }
  };
  std::unique_ptr<PGresult, 释放> 结果_;
};

// One open connection.
class PG会话 {
 public:
  explicit PG会话(PG连接指针 连接) : 连接_(std::move(连接)) {}
  // One statement with text parameters ($1, $2, ...).
  PG结果 执行(const char* sql, const std::vector<std::string>& 参数 = {});
  // Statements without parameters (schema steps, BEGIN, COMMIT).
  bool 运行(const char* sql);
  bool 已断开() const { return ::PQstatus(连接_.get()) != CONNECTION_OK; }
  std::string 最后错误() const;

 private:
  PG连接指针 连接_;
};

// BEGIN on construction; ROLLBACK unless 提交 succeeded.
class PG事务 {
 public:
  explicit PG事务(PG会话& 会话, const char* 开始语句 = "BEGIN");
  ~PG事务();
  PG事务(const PG事务&) = delete;
  PG事务& operator=(const PG事务&) = delete;
  bool 已开始() const { return 开始_; }
  // True only when the server confirmed the commit (then it is durable).
  bool 提交();

 private:
  PG会话& 会话_;
  bool 开始_ = false;
  bool 完成_ = false;
};

// At most 上限 connections, opened when first needed. A connection found broken after a
// statement is dropped when handed back, so the pool reconnects by itself once the server
// is reachable again.
class PG连接池 {
 public:
  PG连接池(std::string 连接串, std::size_t 上限);
  PG连接池(const PG连接池&) = delete;
  PG连接池& operator=(const PG连接池&) = delete;

  class 借用 {
   public:
    借用() = default;
    借用(PG连接池* 池, std::unique_ptr<PG会话> 会话) : 池_(池), 会话_(std::move(会话)) {}
    借用(借用&&) = default;
    借用& operator=(借用&&) = default;
    ~借用();
    explicit operator bool() const { return 会话_ != nullptr; }
    PG会话& operator*() const { return *会话_; }
    PG会话* operator->() const { return 会话_.get(); }

   private:
    PG连接池* 池_ = nullptr;
    std::unique_ptr<PG会话> 会话_;
  };

  // A connection, waiting at most a few seconds for a free one. Empty (with a message)
  // when none frees up or the server cannot be reached.
  借用 借出(std::string* 错误);

 private:
  void 归还(std::unique_ptr<PG会话> 会话);

  const std::string 连接串_;
  const std::size_t 上限_;
  std::mutex 锁_;
  std::condition_variable 有空闲_;
  std::vector<std::unique_ptr<PG会话>> 空闲_;
  std::size_t 已借出_ = 0;
  // After a failed connect, callers fail fast for a moment instead of each waiting for the
  // connect time-out of an unreachable server.
  std::chrono::steady_clock::time_point 暂停至_{};
};

}  // namespace tallybell::服务
