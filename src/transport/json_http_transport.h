// The small request/response exchanges with the update service: resolve, manifest fetch,
// result reports. Bodies are bytes; callers do the JSON work and judge the status code.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tallybell {

// The limits of every exchange the update core has with the service and the content hosts:
// resolve, manifest, result reports, and (the time-outs) each object download.
inline constexpr std::uint32_t 服务连接超时毫秒 = 15000;
inline constexpr std::uint32_t 服务发送超时毫秒 = 30000;
inline constexpr std::uint32_t 服务接收超时毫秒 = 30000;
inline constexpr std::uint64_t 服务响应上限字节 = 8388608;

struct JsonHttp请求 {
  std::wstring method;  // "POST" or "GET"; not empty
  std::wstring url;
  std::vector<std::pair<std::wstring, std::wstring>> headers;  // in order
  std::string body;                                            // empty: no body
  std::uint32_t connectTimeoutMs = 0;
  std::uint32_t sendTimeoutMs = 0;
  std::uint32_t receiveTimeoutMs = 0;
  std::uint64_t maxResponseBytes = 0;  // not 0
  bool allowContentHost = false;       // also plain HTTP to the designated content host
};

// A request to the service or a content host with the limits above.
JsonHttp请求 服务交换请求(std::wstring method, std::wstring url, bool allowContentHost);

// A JSON document POSTed to the service over HTTPS (the resolve request, result reports),
// marked so that no cache on the way keeps it; 标识头 (the request's own id) comes last.
JsonHttp请求 服务JSON投递请求(std::wstring url, std::string 正文, std::pair<std::wstring, std::wstring> 标识头);

struct JsonHttp响应 {
  std::uint32_t statusCode = 0;
  std::wstring finalUrl;  // after redirects
  std::string body;
};

class JsonHttp传输 {
 public:
  virtual ~JsonHttp传输() = default;
  // Sends one request. True: *响应 holds the exchange whatever the status, *错误 cleared.
  // False: *错误 (when given) holds one message and *响应 is untouched.
  virtual bool 发送(const JsonHttp请求& 请求, JsonHttp响应* 响应, std::wstring* 错误) = 0;
};

}  // namespace tallybell
