// What the libcurl clients of the POSIX layer share: owners for easy handles and header
// lists, the one-time library set-up, and the options every transfer of the update core
// gets (protocols, TLS, trust store, time-outs, user agent).
#pragma once

#include <curl/curl.h>

#include <cstdint>
#include <memory>
#include <string>

namespace tallybell::platform {

struct CURL释放器 {
  void operator()(CURL* 句柄) const noexcept { ::curl_easy_cleanup(句柄); }
};
using CURL句柄 = std::unique_ptr<CURL, CURL释放器>;

// An owned curl_slist of request header lines.
class CURL请求头表 {
 public:
  CURL请求头表() = default;
  ~CURL请求头表() { ::curl_slist_free_all(表_); }
  CURL请求头表(const CURL请求头表&) = delete;
  CURL请求头表& operator=(const CURL请求头表&) = delete;

  // False when the line could not be added (out of memory); the list keeps its lines.
  bool 追加(const std::string& 行);
  curl_slist* get() const noexcept { return 表_; }

 private:
  curl_slist* 表_ = nullptr;
};

// Initialises libcurl once per process (the program has a single thread); false when the
// library refuses, then every later call is false too.
bool 初始化CURL();

struct HTTP时限 {
  std::uint32_t connectMs = 0;  // name resolution, connect and TLS handshake; 0: no limit of ours
  std::uint32_t sendMs = 0;     // longest pause while the request goes out; 0: none
  std::uint32_t receiveMs = 0;  // longest pause while waiting for or reading the response; 0: none
};

// libcurl knows only a connect time-out and a whole-transfer time-out; the send and
// receive time-outs are pauses without progress, so this watch ends a transfer that has
// not moved for longer than the limit of its phase. libcurl calls it at least about once
// a second, so a limit is noticed up to a second late.
class CURL停顿监视 {
 public:
  CURL停顿监视(CURL* 句柄, const HTTP时限& 时限) : 句柄_(句柄), 时限_(时限) {}

  // For the header callback: a header line arrived.
  void 有进展();
  // The transfer-info callback: non-zero ends the transfer.
  static int 回调(void* 监视, curl_off_t 下载总量, curl_off_t 已下载, curl_off_t 上传总量, curl_off_t 已上传);

 private:
  int 检查(curl_off_t 已下载, curl_off_t 上传总量, curl_off_t 已上传);

  CURL* 句柄_;
  HTTP时限 时限_;
  bool 已连接_ = false;
  std::uint64_t 上次进展_ = 0;
  curl_off_t 已下载_ = 0;
  curl_off_t 已上传_ = 0;
};

// Sets the URL and the shared options: HTTP and HTTPS only (for redirects too), no
// automatic redirects (the clients follow them after checking each address), HTTP/1.1,
// TLS 1.2 as minimum and maximum with peer and host verification, SSL_CERT_FILE and
// SSL_CERT_DIR replacing the system trust store when either is set, the connect time-out,
// the pause watch, the user agent and no signals. The proxy comes from the usual
// environment variables, as libcurl does by default. False when an option is refused.
bool 设置CURL公共选项(CURL* 句柄, const std::string& 地址, const HTTP时限& 时限, CURL停顿监视* 监视);

}  // namespace tallybell::platform
