// The SQLite implementation of the service store: one file, WAL journal with a full sync
// at every commit (a commit is on disk when it returns), one connection per process
// guarded by a mutex.
#pragma once

#include <mutex>

#include "service/service_store.h"
#include "service/sqlite_handles.h"

namespace tallybell::服务 {

class SQLite存储 final : public 服务存储 {
 public:
  bool 打开(const std::string& 路径, std::string* 错误);

  bool 准备(const 服务设置* 新设置, std::string* 错误) override;
  添加结果 添加发布(const 发布记录& 发布, const 审计条目& 审计) override;
  std::vector<发布记录> 列出发布() override;
  bool 读取修订(std::uint64_t* 修订) override;
  bool 读取快照(服务快照* 快照) override;
  bool 保存推出(推出记录* 推出, const 审计条目& 审计, std::uint64_t 期望修订) override;
  bool 写入批次(const std::vector<结果记录>& 事件, const std::vector<提供记录>& 提供,
                const std::vector<隔离事件>& 隔离, std::vector<bool>* 新事件) override;
  bool 统计推出(const 推出记录& 推出, std::uint64_t 现在, 推出统计* 统计) override;
  bool 已提供(std::uint64_t 推出标识, const std::string& 安装标识, bool* 结果) override;
  bool 事件数(std::uint64_t* 事件, std::uint64_t* 隔离) override;
  bool 修剪结果(std::uint64_t 截止, std::uint64_t* 已删除, const 审计条目& 审计) override;
  std::vector<审计条目> 读取审计(std::uint32_t 最多) override;
  std::vector<隔离事件> 读取隔离(std::uint32_t 最多) override;
  std::vector<结果分组> 发布总计(const std::string& 发布标识) override;

 private:
  // Callers hold 锁_ and an open transaction.
  bool 写审计(const 审计条目& 审计);
  bool 读设置(const char* 键, std::string* 值);
  bool 写设置(const char* 键, const std::string& 值);

  std::mutex 锁_;
  SQLite连接 连接_;
};

}  // namespace tallybell::服务
