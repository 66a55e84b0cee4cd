// Fetching one object's bytes, whole or from an offset, with the response head handed to
// the caller before any body data.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace tallybell {

struct 下载请求 {
  std::wstring url;
  std::uint64_t rangeStart = 0;  // 0: the whole object; else the bytes from here to the end
  std::uint32_t connectTimeoutMs = 0;
  std::uint32_t sendTimeoutMs = 0;
  std::uint32_t receiveTimeoutMs = 0;
};

struct 下载响应 {
  std::uint32_t statusCode = 0;
  std::wstring finalUrl;
  bool hasContentLength = false;
  std::uint64_t contentLength = 0;
  bool hasContentRange = false;  // a valid Content-Range header was present
  std::uint64_t rangeStart = 0;
  std::uint64_t rangeTotal = 0;
  bool acceptsByteRanges = false;
};

using 下载响应回调 = std::function<bool(const 下载响应&, std::wstring* 错误)>;
using 下载数据回调 = std::function<bool(const unsigned char* 数据, std::uint64_t 长度, std::wstring* 错误)>;

class 下载传输 {
 public:
  virtual ~下载传输() = default;
  // Calls 响应回调 exactly once with the head before any body data (false from it stops
  // the transfer and leaves its message), then hands the body to 数据回调 in order in
  // chunks of any size. True at the end of the body with *错误 cleared. The transport does
  // not judge the status or the ranges; the caller's head callback does.
  virtual bool 下载(const 下载请求& 请求, const 下载响应回调& 响应回调, const 下载数据回调& 数据回调,
                    std::wstring* 错误) = 0;
};

}  // namespace tallybell
