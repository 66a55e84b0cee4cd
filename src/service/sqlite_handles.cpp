#include "service/sqlite_handles.h"

namespace tallybell::服务 {

bool SQLite连接::打开(const std::string& 路径, std::string* 错误) {
  const int 标志 = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
  if (::sqlite3_open_v2(路径.c_str(), &库_, 标志, nullptr) != SQLITE_OK) {
    if (错误) *错误 = 最后错误();
    return false;
  }
  // Writers of other processes (operator commands beside a running service) wait instead
  // of failing at once.
  ::sqlite3_busy_timeout(库_, 10000);
  return true;
}

bool SQLite连接::执行(const char* sql, std::string* 错误) {
  char* 消息 = nullptr;
  if (::sqlite3_exec(库_, sql, nullptr, nullptr, &消息) == SQLITE_OK) return true;
  if (错误) *错误 = 消息 ? 消息 : 最后错误();
  ::sqlite3_free(消息);
  return false;
}

SQLite语句::SQLite语句(const SQLite连接& 连接, const char* sql) {
  if (::sqlite3_prepare_v2(连接.get(), sql, -1, &语句_, nullptr) != SQLITE_OK) 语句_ = nullptr;
}

SQLite语句& SQLite语句::绑定(int 位置, const std::string& 值) {
  ::sqlite3_bind_text(语句_, 位置 + 1, 值.data(), static_cast<int>(值.size()), SQLITE_TRANSIENT);
  return *this;
}

SQLite语句& SQLite语句::绑定(int 位置, std::uint64_t 值) {
  ::sqlite3_bind_int64(语句_, 位置 + 1, static_cast<sqlite3_int64>(值));
  return *this;
}

int SQLite语句::步进() { return 语句_ ? ::sqlite3_step(语句_) : SQLITE_MISUSE; }

bool SQLite语句::执行() {
  int 结果;
  while ((结果 = 步进()) == SQLITE_ROW) {
  }
  const bool 成功 = 结果 == SQLITE_DONE;
  重置();
  return 成功;
}

std::string SQLite语句::文本(int 列) const {
  const auto* 值 = ::sqlite3_column_text(语句_, 列);
  const int 长度 = ::sqlite3_column_bytes(语句_, 列);
  return 值 ? std::string(reinterpret_cast<const char*>(值), static_cast<std::size_t>(长度)) : std::string();
}

std::uint64_t SQLite语句::整数(int 列) const {
  return static_cast<std::uint64_t>(::sqlite3_column_int64(语句_, 列));
}

void SQLite语句::重置() {
  if (!语句_) return;
  ::sqlite3_reset(语句_);
  ::sqlite3_clear_bindings(语句_);
}

SQLite事务::SQLite事务(SQLite连接& 连接) : 连接_(连接) { 开始_ = 连接_.执行("BEGIN IMMEDIATE"); }

SQLite事务::~SQLite事务() {
  if (开始_ && !完成_) 连接_.执行("ROLLBACK");
}

bool SQLite事务::提交() {
  if (!开始_ || 完成_) return false;
  完成_ = 连接_.执行("COMMIT");
  return 完成_;
}

}  // namespace tallybell::服务
