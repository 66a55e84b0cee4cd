#include "platform/windows/winhttp_win.h"

#include <vector>

#include "platform/http_hop.h"

namespace tallybell::platform::windows {

WinHTTP句柄 打开WinHTTP会话(std::uint32_t 连接时限, std::uint32_t 发送时限, std::uint32_t 接收时限) {
  WinHTTP句柄 会话(::WinHttpOpen(HTTP用户代理, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                 WINHTTP_NO_PROXY_BYPASS, 0));
  if (!会话) return 会话;
  ::WinHttpSetTimeouts(会话.get(), static_cast<int>(连接时限), static_cast<int>(连接时限),
                       static_cast<int>(发送时限), static_cast<int>(接收时限));
  // The wait for the response head has a limit of its own (90 seconds on Windows, none on
  // Wine); the receive time-out is meant to bound it as well.
  DWORD 响应头时限 = 接收时限;
  if (响应头时限 != 0) {
    ::WinHttpSetOption(会话.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &响应头时限, sizeof 响应头时限);
  }
  DWORD 协议 = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
  ::WinHttpSetOption(会话.get(), WINHTTP_OPTION_SECURE_PROTOCOLS, &协议, sizeof 协议);
  return 会话;
}

WinHTTP句柄 打开WinHTTP请求(HINTERNET 连接, const std::wstring& 方法, const std::wstring& 请求目标, bool https) {
  WinHTTP句柄 请求(::WinHttpOpenRequest(连接, 方法.c_str(), 请求目标.c_str(), nullptr, WINHTTP_NO_REFERER,
                                        WINHTTP_DEFAULT_ACCEPT_TYPES, https ? WINHTTP_FLAG_SECURE : 0));
  if (!请求) return 请求;
  DWORD 关闭功能 = WINHTTP_DISABLE_REDIRECTS;
  if (!::WinHttpSetOption(请求.get(), WINHTTP_OPTION_DISABLE_FEATURE, &关闭功能, sizeof 关闭功能)) 请求.重置();
  return 请求;
}

bool 读取WinHTTP状态码(HINTERNET 请求, std::uint32_t* 状态码) {
  DWORD 值 = 0;
  DWORD 大小 = sizeof 值;
  if (!::WinHttpQueryHeaders(请求, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &值, &大小, WINHTTP_NO_HEADER_INDEX)) {
    return false;
  }
  *状态码 = 值;
  return true;
}

bool 读取WinHTTP响应头(HINTERNET 请求, DWORD 信息级别, std::wstring* 值) {
  DWORD 大小 = 0;
  if (::WinHttpQueryHeaders(请求, 信息级别, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER, &大小,
                            WINHTTP_NO_HEADER_INDEX) ||
      ::GetLastError() != ERROR_INSUFFICIENT_BUFFER || 大小 < 2) {
    return false;
  }
  std::vector<wchar_t> 缓冲(大小 / sizeof(wchar_t) + 1, L'\0');
  if (!::WinHttpQueryHeaders(请求, 信息级别, WINHTTP_HEADER_NAME_BY_INDEX, 缓冲.data(), &大小,
                             WINHTTP_NO_HEADER_INDEX)) {
    return false;
  }
  *值 = std::wstring(缓冲.data());
  return true;
}

}  // namespace tallybell::platform::windows
