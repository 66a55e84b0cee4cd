#include "service/http_service.h"

#include <httplib.h>
#include <openssl/ssl.h>
#include <signal.h>

#include <nlohmann/json.hpp>

#include <atomic>
#include <thread>

#include "documents/json_output.h"
#include "service/policy_issue.h"
#include "service/request_checks.h"

namespace tallybell::服务 {
namespace {

const char* const 解析路径 = "/update/v1/resolve";
const char* const 结果路径 = "/update/v1/results";

void 答复(httplib::Response& 应答, int 状态, const std::string& 状态文本, const std::string& 说明 = {}) {
  nlohmann::json 文档 = {{"status", 状态文本}};
  if (!说明.empty()) 文档["reason"] = 说明;
  std::string 正文;
  序列化JSON(文档, &正文);
  应答.status = 状态;
  应答.set_header("Cache-Control", "no-store");
  应答.set_content(正文, "application/json");
}

void 处理解析(const httplib::Request& 请求, httplib::Response& 应答, 推出监视器& 监视器, 结果写入器& 写入器,
              const 服务时钟& 时钟) {
  解析请求 内容;
  std::string 原因;
  if (!检查解析请求(请求.body, &内容, &原因)) return 答复(应答, 400, "bad-request", 原因);
  const auto 快照 = 监视器.快照();
  if (!快照) return 答复(应答, 503, "unavailable", "storage unreachable");
  auto 结果 = 签发策略(*快照, 内容, 时钟.现在());
  if (结果.offer) 写入器.记录提供(*结果.offer);
  应答.status = static_cast<int>(结果.status);
  应答.set_header("Cache-Control", "no-store");
  应答.set_content(std::move(结果.body), "application/json");
}

void 处理结果(const httplib::Request& 请求, httplib::Response& 应答, 结果写入器& 写入器, const 服务时钟& 时钟) {
  const std::string 键 = 请求.get_header_value("Idempotency-Key");
  if (!幂等键有效(键)) return 答复(应答, 400, "bad-request", "missing or invalid Idempotency-Key");
  结果记录 事件;
  std::string 原因;
  if (!检查结果事件(请求.body, 键, &事件, &原因)) {
    // The client keeps whatever is refused and sends it again on every pass for ever, so
    // an event that can never become valid is accepted into the poison table instead: the
    // client lets go of it, an operator can still read it, and it is never counted.
    const auto 结局 = 写入器.写入隔离({键, 请求.body, 原因, 时钟.现在()});
    if (结局 == 写入结局::失败) return 答复(应答, 503, "unavailable", "storage failure");
    return 答复(应答, 202, "quarantined", 原因);
  }
  事件.receivedAt = 时钟.现在();
  switch (写入器.写入事件(std::move(事件))) {
    case 写入结局::新存: return 答复(应答, 200, "stored");
    case 写入结局::重复: return 答复(应答, 200, "duplicate");
    case 写入结局::失败: return 答复(应答, 503, "unavailable", "storage failure");
  }
}

std::atomic<httplib::Server*> 当前服务{nullptr};

void 停止信号(int) {
  if (auto* 服务 = 当前服务.load()) 服务->stop();
}

}  // namespace

bool 运行HTTPS服务(const 服务配置& 配置, 推出监视器& 监视器, 结果写入器& 写入器, const 服务时钟& 时钟,
                   std::string* 错误) {
  httplib::SSLServer 服务(配置.certificateFile.c_str(), 配置.keyFile.c_str());
  if (!服务.is_valid()) {
    *错误 = "cannot load the certificate or key";
    return false;
  }
  ::SSL_CTX_set_min_proto_version(服务.ssl_context(), TLS1_2_VERSION);
  const auto 线程数 = 配置.threads;
  服务.new_task_queue = [线程数] { return new httplib::ThreadPool(线程数); };
  服务.set_payload_max_length(最大请求字节);
  服务.set_keep_alive_max_count(1000000);
  // Each open connection holds a worker thread; idle ones let go soon.
  服务.set_keep_alive_timeout(5);
  // Small answers must leave at once, not wait for the peer's delayed acknowledgement.
  服务.set_tcp_nodelay(true);
  服务.Post(解析路径, [&](const httplib::Request& 请求, httplib::Response& 应答) {
    处理解析(请求, 应答, 监视器, 写入器, 时钟);
  });
  服务.Post(结果路径, [&](const httplib::Request& 请求, httplib::Response& 应答) {
    处理结果(请求, 应答, 写入器, 时钟);
  });
  const auto 只许POST = [](const httplib::Request&, httplib::Response& 应答) {
    应答.set_header("Allow", "POST");
    答复(应答, 405, "method-not-allowed");
  };
  for (const char* 路径 : {解析路径, 结果路径}) {
    服务.Get(路径, 只许POST).Put(路径, 只许POST).Delete(路径, 只许POST).Patch(路径, 只许POST);
  }
  if (!配置.contentDir.empty() && !服务.set_mount_point("/", 配置.contentDir)) {
    *错误 = "cannot serve the content directory " + 配置.contentDir;
    return false;
  }
  服务.set_error_handler([](const httplib::Request&, httplib::Response& 应答) {
    if (应答.body.empty()) {
      const int 状态 = 应答.status;
      答复(应答, 状态, 状态 == 404 ? "not-found" : 状态 == 413 ? "too-large" : "error");
    }
  });
  if (!服务.bind_to_port(配置.host, 配置.port)) {
    *错误 = "cannot listen on " + 配置.host + ":" + std::to_string(配置.port);
    return false;
  }
  当前服务 = &服务;
  ::signal(SIGTERM, 停止信号);
  ::signal(SIGINT, 停止信号);
  ::signal(SIGPIPE, SIG_IGN);
  std::printf("serving on https://%s:%u\n", 配置.host.c_str(), static_cast<unsigned>(配置.port));
  std::fflush(stdout);
  服务.listen_after_bind();
  当前服务 = nullptr;
  return true;
}

}  // namespace tallybell::服务
