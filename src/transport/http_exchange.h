// The one redirect loop of the HTTP clients. Each hop is one exchange of the platform
// (platform/http_hop.h); the loop splits and percent-encodes each address, follows at most
// five redirects, checks every new address with the caller's rule before it is requested
// (and refuses a step down from HTTPS to plain HTTP), and words every failure with the
// caller's messages, so both clients and both platforms fail alike.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/http_hop.h"

namespace tallybell {

// The sentences of one client for the failures the loop reports.
struct HTTP往返消息 {
  const wchar_t* 无法解析地址;
  const wchar_t* 无法初始化;
  const wchar_t* 无法连接;
  const wchar_t* 无法创建请求;
  const wchar_t* 请求失败;  // also: a sixth redirect
  const wchar_t* 无法读取状态码;
  const wchar_t* 地址不允许;  // a redirect target refused by the rule, or a step down to HTTP
  const wchar_t* 读取正文失败;
};

// One request and where it stands while redirects are followed.
struct HTTP往返 {
  std::wstring url;     // of the next (in the end: the last) request
  std::wstring method;
  std::vector<std::pair<std::wstring, std::wstring>> headers;  // sent on every hop
  const std::string* body = nullptr;                           // dropped when a redirect turns the request into a GET
  std::uint32_t connectTimeoutMs = 0;
  std::uint32_t sendTimeoutMs = 0;
  std::uint32_t receiveTimeoutMs = 0;
  unsigned 跳转次数 = 0;
};

// True when a redirect with 状态码 turns a request with 方法 into a body-less GET: 303 for
// every method but HEAD, 301 and 302 for POST.
bool 跳转后改为GET(std::uint32_t 状态码, const std::wstring& 方法);

// Sends 往返 and follows its redirects (301, 302, 303, 307 and 308 with a Location).
// 307 and 308 keep method and body. The receiver sees only the final response; it reads
// 往返->url for the final URL. Returns how the last hop ended; for every outcome but
// 完成 and 接收方停止 *错误 (when given) holds the matching message, for 接收方停止 the
// receiver's own.
platform::HTTP单跳结局 执行HTTP往返(HTTP往返* 往返, const HTTP往返消息& 消息,
                                   const std::function<bool(const std::wstring&)>& 地址允许,
                                   platform::HTTP单跳接收方* 接收方, std::wstring* 错误);

}  // namespace tallybell
