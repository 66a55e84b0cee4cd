// The network JSON transport: one request per call over the platform's HTTP library,
// redirects followed by the shared loop (each new address checked by the address rule
// before it is requested, so the final URL is always known and a refused address is never
// contacted), the response body capped while it streams in.
#pragma once

#include <string>

#include "transport/json_http_transport.h"

namespace tallybell {

class JsonHttp客户端 final : public JsonHttp传输 {
 public:
  bool 发送(const JsonHttp请求& 请求, JsonHttp响应* 响应, std::wstring* 错误) override;
};

}  // namespace tallybell
