// How the HTTP clients read URLs: one splitter that both platforms use to decide where a
// connection goes, the designated plain-HTTP content host, and the resolution of a
// redirect's Location against the URL that produced it. Keeping one parser means the
// address that passed a rule is exactly the address that is connected to.
#pragma once

#include <cstdint>
#include <string>

namespace tallybell {

// Redirects a client follows for one request before it gives up.
inline constexpr unsigned HTTP最多跳转次数 = 5;

// A URL as a connection needs it.
struct HTTP地址 {
  bool https = false;
  std::wstring host;           // as written (letter case kept); an address literal keeps its brackets
  std::uint16_t port = 0;      // the explicit port, else 443 or 80
  // The path ("/" when empty) and the query, never the fragment, percent-encoded: only
  // printable ASCII of the request-target grammar goes on the wire.
  std::wstring requestTarget;
};

// Splits "http" or "https" (any letter case) "://" [user information "@"] host [":" port]
// [path] ["?" query] ["#" fragment]. Path and query may hold any character: the UTF-8
// bytes outside the request-target grammar are sent as %XX, so a URL with a blank or a
// non-ASCII name reaches the same object on both platforms. False, with *输出 untouched,
// when the authority holds a character outside the printable ASCII range or '\', the
// scheme is another, the host is empty, more than one '@' appears in the authority, the
// port is not 1 to 65535 in decimal, or the text is not valid UTF-16. User information is
// accepted and never used.
bool 拆分HTTP地址(const std::wstring& 地址, HTTP地址* 输出);

// The designated plain-HTTP content host, a deployment constant.
std::wstring 指定内容主机();

// True when 主机 equals the designated content host ignoring ASCII letter case.
bool 是指定内容主机(const std::wstring& 主机);

// The status codes a client follows when a Location comes with them: 301, 302, 303, 307
// and 308.
bool 是跳转状态码(std::uint32_t 状态码);

// Resolves a Location value (absolute, scheme-relative, path-absolute, relative, query or
// fragment only) against the URL of the response that carried it, removing "." and ".."
// segments. False when 基础 has no scheme or 位置 is empty; the result is checked by the
// caller's address rule before it is followed.
bool 合成跳转地址(const std::wstring& 基础, const std::wstring& 位置, std::wstring* 结果);

}  // namespace tallybell
