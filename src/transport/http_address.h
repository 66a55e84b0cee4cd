// How the HTTP clients read URLs: one splitter that both platforms use to decide where a
// connection goes, the designated plain-HTTP content host, and the resolution of a
// redirect's Location against the URL that produced it. Keeping one parser means the
// address that passed a rule is exactly the address that is connected to.
#pragma once

#include <cstdint>
#include <string>

namespace tallybell {

// Sent by every request of the update core.
inline constexpr wchar_t HTTP用户代理[] = L"TallybellUpdater/1.0";

// Redirects a client follows for one request before it gives up.
inline constexpr unsigned HTTP最多跳转次数 = 5;

// A URL as a connection needs it.
struct HTTP地址 {
  bool https = false;
  std::wstring host;           // as written (letter case kept); an address literal keeps its brackets
  std::uint16_t port = 0;      // the explicit port, else 443 or 80
  std::wstring requestTarget;  // the path ("/" when empty) and the query; never the fragment
};

// Splits "http" or "https" (any letter case) "://" [user information "@"] host [":" port]
// [path] ["?" query] ["#" fragment]. False, with *输出 untouched, when a character lies
// outside the printable ASCII range or is '\', the scheme is another, the host is empty,
// more than one '@' appears in the authority, or the port is not 1 to 65535 in decimal.
// User information is accepted and never used.
bool 拆分HTTP地址(const std::wstring& 地址, HTTP地址* 输出);

// The URL a connection library is given for a split address: scheme, host, port and
// request target, without user information and fragment.
std::wstring HTTP连接地址(const HTTP地址& 地址);

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
