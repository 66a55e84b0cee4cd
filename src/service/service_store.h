// The one storage interface of the update service. The SQLite file is the embedded default;
// a database server backend implements the same operations. Every operation is atomic:
// it either commits completely or leaves the store as it was.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "service/service_records.h"

namespace tallybell::服务 {

enum class 添加结果 { 已添加, 已存在, 冲突, 失败 };

class 服务存储 {
 public:
  virtual ~服务存储() = default;

  // Creates the schema (or upgrades an older one) and, on a new store, the settings.
  virtual bool 准备(const 服务设置* 新设置, std::string* 错误) = 0;

  // A release id names one manifest for ever: the same record again is 已存在, a
  // different one 冲突.
  virtual 添加结果 添加发布(const 发布记录& 发布, const 审计条目& 审计) = 0;
  virtual std::vector<发布记录> 列出发布() = 0;

  // The revision only; cheap enough to poll.
  virtual bool 读取修订(std::uint64_t* 修订) = 0;
  virtual bool 读取快照(服务快照* 快照) = 0;

  // Stores the rollout (a new one when its id is 0, which then becomes the channel's
  // current rollout), raises the revision and appends the audit entry, all in one
  // transaction, and only when the revision is still 期望修订: two writers never both
  // win. Returns false on a stale revision or a storage failure.
  virtual bool 保存推出(推出记录* 推出, const 审计条目& 审计, std::uint64_t 期望修订) = 0;

  // One durable commit for a batch: the events (each stored once by eventId; 新事件 tells
  // which were new), the offers (the first one per rollout and installation is kept) and
  // the poison events (one per idempotency key).
  virtual bool 写入批次(const std::vector<结果记录>& 事件, const std::vector<提供记录>& 提供,
                        const std::vector<隔离事件>& 隔离, std::vector<bool>* 新事件) = 0;

  virtual bool 统计推出(const 推出记录& 推出, std::uint64_t 现在, 推出统计* 统计) = 0;
  virtual bool 已提供(std::uint64_t 推出标识, const std::string& 安装标识, bool* 结果) = 0;
  virtual bool 事件数(std::uint64_t* 事件, std::uint64_t* 隔离) = 0;

  // Removes result rows received before 截止, adding them to the per-release totals.
  virtual bool 修剪结果(std::uint64_t 截止, std::uint64_t* 已删除, const 审计条目& 审计) = 0;
  virtual std::vector<审计条目> 读取审计(std::uint32_t 最多) = 0;
  virtual std::vector<隔离事件> 读取隔离(std::uint32_t 最多) = 0;
  virtual std::vector<结果分组> 发布总计(const std::string& 发布标识) = 0;
};

// Opens (creating with mode 0600) the SQLite file at 路径.
std::unique_ptr<服务存储> 打开SQLite存储(const std::string& 路径, std::string* 错误);

}  // namespace tallybell::服务
