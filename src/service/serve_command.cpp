// serve: the HTTPS service with its result writer and rollout monitor.
#include <cstdio>

#include "service/http_service.h"
#include "service/service_commands.h"

namespace tallybell::服务 {

int 执行服务(命令环境& 环境) {
  const auto& 参数 = 环境.参数;
  服务配置 配置;
  const std::string 监听 = 参数.取("listen", "127.0.0.1:8443");
  const auto 冒号 = 监听.rfind(':');
  std::optional<std::uint64_t> 线程;
  std::string 错误;
  if (冒号 == std::string::npos || 冒号 == 0 || 监听.find_first_not_of("0123456789", 冒号 + 1) != std::string::npos ||
      冒号 + 1 == 监听.size() || 监听.size() - 冒号 > 6 || std::stoul(监听.substr(冒号 + 1)) > 65535) {
    return 报错(用法错误, "--listen needs HOST:PORT");
  }
  if (!参数.取数("threads", 2, 1024, &线程, &错误)) return 报错(用法错误, 错误);
  配置.host = 监听.substr(0, 冒号);
  配置.port = static_cast<std::uint16_t>(std::stoul(监听.substr(冒号 + 1)));
  配置.certificateFile = 参数.取("cert");
  配置.keyFile = 参数.取("key");
  配置.contentDir = 参数.取("content");
  配置.threads = static_cast<std::uint32_t>(线程.value_or(64));
  if (配置.certificateFile.empty() || 配置.keyFile.empty()) return 报错(用法错误, "serve needs --cert and --key");
  结果写入器 写入器(*环境.存储);
  推出监视器 监视器(*环境.存储, 环境.时钟);
  if (!监视器.启动()) return 报错(存储错误, "cannot read the database");
  if (!运行HTTPS服务(配置, 监视器, 写入器, 环境.时钟, &错误)) return 报错(失败, 错误);
  return 成功;
}

}  // namespace tallybell::服务
