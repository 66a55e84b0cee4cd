// Scoped SQLite handles and the few helpers every statement needs. Values only ever reach
// SQL through bound parameters.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>

namespace tallybell::服务 {

class SQLite连接 {
 public:
  SQLite连接() = default;
  ~SQLite连接() { if (库_) ::sqlite3_close_v2(库_); }
  SQLite连接(const SQLite连接&) = delete;
  SQLite连接& operator=(const SQLite连接&) = delete;
  // Opens or creates the file; false with the library's message.
  bool 打开(const std::string& 路径, std::string* 错误);
  sqlite3* get() const { return 库_; }
  // Runs statements without parameters.
  bool 执行(const char* sql, std::string* 错误 = nullptr);
  std::string 最后错误() const { return 库_ ? ::sqlite3_errmsg(库_) : "no database"; }

 private:
  sqlite3* 库_ = nullptr;
};

// A prepared statement, reset for reuse. Columns and parameters count from 0 here.
class SQLite语句 {
 public:
  SQLite语句(const SQLite连接& 连接, const char* sql);
  ~SQLite语句() { ::sqlite3_finalize(语句_); }
  SQLite语句(const SQLite语句&) = delete;
  SQLite语句& operator=(const SQLite语句&) = delete;
  bool 有效() const { return 语句_ != nullptr; }
  SQLite语句& 绑定(int 位置, const std::string& 值);
  SQLite语句& 绑定(int 位置, std::uint64_t 值);
  // SQLITE_ROW: a row is there; SQLITE_DONE: finished; anything else: failure.
  int 步进();
  // Runs to the end; true when the statement finished without error.
  bool 执行();
  std::string 文本(int 列) const;
  std::uint64_t 整数(int 列) const;
  void 重置();

 private:
  sqlite3_stmt* 语句_ = nullptr;
};

// BEGIN IMMEDIATE ... COMMIT; rolls back unless 提交 succeeded.
class SQLite事务 {
 public:
  explicit SQLite事务(SQLite连接& 连接);
  ~SQLite事务();
  bool 已开始() const { return 开始_; }
  bool 提交();

 private:
  SQLite连接& 连接_;
  bool 开始_ = false;
  bool 完成_ = false;
};

}  // namespace tallybell::服务
