// The PostgreSQL implementation of the service store, for several service instances on
// one database. Each operation borrows a connection from the instance's bounded pool and
// runs in one transaction; a commit is on the server's disk when it returns. Operations
// fail (and the endpoints answer 503) while the server is unreachable; the pool reconnects
// by itself when it is back.
#pragma once

#include <memory>

#include "service/pg_handles.h"
#include "service/service_clock.h"
#include "service/service_store.h"

namespace tallybell::服务 {

class PG存储 final : public 服务存储 {
 public:
  // 时钟 decides when the shared check window moves on (see 读取修订).
  PG存储(const std::string& 连接串, std::size_t 连接上限, 服务时钟 时钟);

  bool 准备(const 服务设置* 新设置, std::string* 错误) override;
  添加结果 添加发布(const 发布记录& 发布, const 审计条目& 审计) override;
  std::vector<发布记录> 列出发布() override;
  // Also moves the shared check window on once this instance's clock has left it: the
  // first instance to notice raises the revision, every instance picks it up with its next
  // snapshot, and all of them then number policies by the same window.
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
  PG连接池 池_;
  服务时钟 时钟_;
};

}  // namespace tallybell::服务
