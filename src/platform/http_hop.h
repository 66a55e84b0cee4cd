// One HTTP exchange without redirects, over the platform's HTTP library: WinHTTP on
// Windows, libcurl elsewhere. The portable clients of transport/ build every request,
// follow redirects, judge addresses and sizes and word every failure; the platform only
// carries bytes, so both builds behave alike by construction.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tallybell::platform {

// Sent by every request of the update core.
inline constexpr wchar_t HTTP用户代理[] = L"TallybellUpdater/1.0";

// A request as it goes on the wire; every part was checked by the caller.
struct HTTP单跳请求 {
  std::wstring method;
  bool https = false;
  std::wstring host;           // as in the URL; an address literal keeps its brackets
  std::uint16_t port = 0;
  std::wstring requestTarget;  // printable ASCII only: the caller percent-encoded it
  std::vector<std::pair<std::wstring, std::wstring>> headers;  // in order, without CR, LF or NUL
  const std::string* body = nullptr;  // nullptr: none (a POST still says Content-Length: 0)
  std::uint32_t connectTimeoutMs = 0;  // name resolution, connect and TLS handshake
  std::uint32_t sendTimeoutMs = 0;
  std::uint32_t receiveTimeoutMs = 0;  // also bounds the wait for the response head
};

// The status and the raw values of the headers the clients read; absent ones stay empty.
struct HTTP单跳响应头 {
  std::uint32_t statusCode = 0;
  std::optional<std::wstring> location;
  std::optional<std::wstring> contentLength;
  std::optional<std::wstring> contentRange;
  std::optional<std::wstring> acceptRanges;
};

// How a hop ended; the caller turns each into its own message.
enum class HTTP单跳结局 {
  完成,          // the whole body was handed over
  无法初始化,    // no session or handle could be made
  无法连接,      // no connection object for the host and port
  无法创建请求,  // the request could not be opened or given its headers
  请求失败,      // no response head: connection, TLS, proxy or time-out failure
  无法读取状态码,
  读取正文失败,  // the body broke off (what arrived before was handed over)
  接收方停止,    // the receiver returned false
};

// What the caller does with the response. Each call returning false ends the hop with
// 接收方停止 and no more calls.
class HTTP单跳接收方 {
 public:
  virtual ~HTTP单跳接收方() = default;
  // Once, with the head of the final (not 1xx) response, before any body byte.
  virtual bool 响应头(const HTTP单跳响应头& 头) = 0;
  // The body in order, in pieces of any size.
  virtual bool 正文(const unsigned char* 数据, std::size_t 长度) = 0;
  // About once a second while the body is awaited, where the library allows it.
  virtual bool 等待中() { return true; }
};

// Performs the exchange with the system's default proxy, the user agent, TLS 1.2 with
// the system's trust (or SSL_CERT_FILE / SSL_CERT_DIR on POSIX) and the three time-outs.
HTTP单跳结局 执行HTTP单跳(const HTTP单跳请求& 请求, HTTP单跳接收方* 接收方);

}  // namespace tallybell::platform
