// The operator commands of tallybell-service. Each one opens the store itself, prints what
// it did and returns an exit code from 退出码.
#pragma once

#include <memory>
#include <string>

#include "service/service_arguments.h"
#include "service/service_clock.h"
#include "service/service_store.h"

namespace tallybell::服务 {

struct 命令环境 {
  命令参数 参数;
  服务时钟 时钟;
  std::unique_ptr<服务存储> 存储;  // opened and prepared before the command runs (not for init)
  std::string 操作者;             // who, for the audit log

  审计条目 审计(const std::string& 内容) const { return {时钟.现在(), 操作者, 内容}; }
};

int 执行初始化(命令环境& 环境);
int 执行发布添加(命令环境& 环境);
int 执行发布列表(命令环境& 环境);
int 执行推出开始(命令环境& 环境);
int 执行推出设置(命令环境& 环境);
int 执行推出暂停(命令环境& 环境);
int 执行推出恢复(命令环境& 环境);
int 执行推出回滚(命令环境& 环境);
int 执行推出状态(命令环境& 环境);
int 执行审计(命令环境& 环境);
int 执行修剪(命令环境& 环境);
int 执行服务(命令环境& 环境);

// Prints "tallybell-service: " + 消息 to standard error and returns 码.
int 报错(int 码, const std::string& 消息);
// "YYYY-MM-DDTHH:MM:SSZ" of seconds since 1970.
std::string 时间文本(std::uint64_t 秒);

}  // namespace tallybell::服务
