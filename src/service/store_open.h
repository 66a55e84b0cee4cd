// Opens the store a --db value names: a PostgreSQL connection URI (postgresql://... or
// postgres://...) for several instances on one database server, otherwise the path of the
// embedded SQLite file.
#pragma once

#include <memory>
#include <string>

#include "service/service_clock.h"
#include "service/service_store.h"

namespace tallybell::服务 {

// Connections each process keeps to a database server at most.
inline constexpr std::size_t 数据库连接上限 = 8;

bool 是PG连接串(const std::string& 位置);

// 新建: the SQLite file may be created (init); otherwise it must exist. The PostgreSQL
// database itself is made by its administrator; the service creates its tables.
std::unique_ptr<服务存储> 打开服务存储(const std::string& 位置, const 服务时钟& 时钟, bool 新建, std::string* 错误);

}  // namespace tallybell::服务
