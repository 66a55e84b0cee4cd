// The HTTPS endpoints installations talk to: POST /update/v1/resolve, POST
// /update/v1/results and, for small deployments, the published content. No operator
// endpoint exists: changes are made with the local commands only.
#pragma once

#include <cstdint>
#include <string>

#include "service/result_writer.h"
#include "service/rollout_monitor.h"
#include "service/service_clock.h"

namespace tallybell::服务 {

struct 服务配置 {
  std::string host = "127.0.0.1";
  std::uint16_t port = 8443;
  std::string certificateFile, keyFile;
  std::string contentDir;  // empty: content is served elsewhere
  std::uint32_t threads = 64;
};

// Serves until SIGTERM or SIGINT. Returns false (with a message) when it cannot start.
bool 运行HTTPS服务(const 服务配置& 配置, 推出监视器& 监视器, 结果写入器& 写入器, const 服务时钟& 时钟,
                   std::string* 错误);

}  // namespace tallybell::服务
