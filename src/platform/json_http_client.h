// The network implementation of the JSON transport on this platform: WinHTTP on Windows,
// libcurl elsewhere. Portable code creates a 平台JsonHttp客户端 and gets the right one.
//
// Both follow redirects themselves (at most five, each new address checked by the address
// rule before it is requested), so the final URL is always known and a refused address is
// never contacted. The response body is capped while it streams in.
#pragma once

#include <string>

#include "transport/json_http_transport.h"

namespace tallybell::platform {

#ifdef _WIN32

class JsonWinHttp客户端 final : public JsonHttp传输 {
 public:
  // Every call opens and closes its own session, connection and request handles.
  bool 发送(const JsonHttp请求& 请求, JsonHttp响应* 响应, std::wstring* 错误) override;
};
using 平台JsonHttp客户端 = JsonWinHttp客户端;

#else

class JsonCurl客户端 final : public JsonHttp传输 {
 public:
  // Every call (and every redirect within it) uses its own easy handle and connection.
  bool 发送(const JsonHttp请求& 请求, JsonHttp响应* 响应, std::wstring* 错误) override;
};
using 平台JsonHttp客户端 = JsonCurl客户端;

#endif

}  // namespace tallybell::platform
