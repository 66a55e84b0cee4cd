// What the WinHTTP clients share: an owner for HINTERNET handles, the session set-up
// every transfer of the update core gets, requests that never follow redirects on their
// own, and the reading of the status code and of raw header values.
#pragma once

#include <windows.h>
#include <winhttp.h>

#include <cstdint>
#include <string>

#include "platform/windows/handles_win.h"

namespace tallybell::platform::windows {

struct WinHTTP句柄特性 {
  using 值类型 = HINTERNET;
  static HINTERNET 无效值() noexcept { return nullptr; }
  static bool 有效(HINTERNET 值) noexcept { return 值 != nullptr; }
  static void 关闭(HINTERNET 值) noexcept { ::WinHttpCloseHandle(值); }
};
// Sessions, connections and requests alike. Declared in that order, they close in the
// reverse one: request, connection, session.
using WinHTTP句柄 = 作用域资源<WinHTTP句柄特性>;

// A synchronous session with the update core's user agent and the system's default proxy.
// Name resolution and connect get the connect time-out; the receive time-out also bounds
// the wait for the response head; TLS 1.2 is the only secure protocol. The results of those settings are not checked. Invalid on failure.
WinHTTP句柄 打开WinHTTP会话(std::uint32_t 连接时限, std::uint32_t 发送时限, std::uint32_t 接收时限);

// A request on 连接 with default accept types, no referrer, the secure flag for HTTPS,
// and automatic redirects off: a redirect WinHTTP followed by itself would reach an
// address the caller never checked (and Wine cannot tell the final URL afterwards).
// Invalid when the request cannot be opened or redirects cannot be turned off.
WinHTTP句柄 打开WinHTTP请求(HINTERNET 连接, const std::wstring& 方法, const std::wstring& 请求目标, bool https);

// The status code as a number; false when it cannot be read.
bool 读取WinHTTP状态码(HINTERNET 请求, std::uint32_t* 状态码);

// A response header's raw value (query info level such as WINHTTP_QUERY_LOCATION), up to
// its first NUL. The header counts as present only when the size query fails for lack of
// buffer space and reports at least 2 bytes; false when absent or unreadable.
bool 读取WinHTTP响应头(HINTERNET 请求, DWORD 信息级别, std::wstring* 值);

}  // namespace tallybell::platform::windows
