#include "service/store_open.h"

#include <unistd.h>

#include "service/pg_store.h"

namespace tallybell::服务 {

bool 是PG连接串(const std::string& 位置) {
  return 位置.rfind("postgresql://", 0) == 0 || 位置.rfind("postgres://", 0) == 0;
}

std::unique_ptr<服务存储> 打开服务存储(const std::string& 位置, const 服务时钟& 时钟, bool 新建, std::string* 错误) {
  if (是PG连接串(位置)) return std::make_unique<PG存储>(位置, 数据库连接上限, 时钟);
  if (!新建 && ::access(位置.c_str(), F_OK) != 0) {
    if (错误) *错误 = "no database at " + 位置 + " (run `tallybell-service init`)";
    return nullptr;
  }
  return 打开SQLite存储(位置, 错误);
}

}  // namespace tallybell::服务
