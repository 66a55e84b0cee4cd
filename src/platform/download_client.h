// The network implementation of the download transport on this platform: WinHTTP on
// Windows, libcurl elsewhere. Portable code creates a 平台下载客户端 and gets the right one.
//
// Both follow redirects themselves (at most five, each new address checked before it is
// requested), send a Range header only for a non-zero offset, read the length and range
// headers into the head, hand the head over once before any body byte, and stream the
// body. They judge neither the status nor the sizes: the download task does.
#pragma once

#include <cstddef>
#include <string>

#include "transport/download_transport.h"

namespace tallybell::platform {

#ifdef _WIN32

class WinHttp客户端 final : public 下载传输 {
 public:
  // Every call opens and closes its own session, connection and request handles; the
  // body goes to the callback in the pieces WinHTTP reads, at most 65536 bytes each.
  bool 下载(const 下载请求& 请求, const 下载响应回调& 响应回调, const 下载数据回调& 数据回调,
            std::wstring* 错误) override;
};
using 平台下载客户端 = WinHttp客户端;

#else

class Curl下载客户端 final : public 下载传输 {
 public:
  // The body is handed over in chunks of this many bytes (the last one shorter): each
  // chunk costs the download task a flush of .part and a checkpoint rewrite, so chunks
  // much larger than what libcurl delivers per call keep the transfer near disk speed.
  static constexpr std::size_t 默认交付块字节 = 8u << 20;
  // Bytes received are handed over at the latest after this long, even in a short chunk,
  // so that a slow server cannot keep them (and the task's time limit) waiting.
  static constexpr unsigned 最长滞留毫秒 = 1000;

  // 交付块字节 0 means the default; larger than 64 MiB is taken as 64 MiB.
  explicit Curl下载客户端(std::size_t 交付块字节 = 默认交付块字节);

  // Every call (and every redirect within it) uses its own easy handle and connection.
  bool 下载(const 下载请求& 请求, const 下载响应回调& 响应回调, const 下载数据回调& 数据回调,
            std::wstring* 错误) override;

 private:
  std::size_t 交付块字节_;
};
using 平台下载客户端 = Curl下载客户端;

#endif

}  // namespace tallybell::platform
