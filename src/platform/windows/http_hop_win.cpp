// One HTTP exchange over WinHTTP: its own session, connection and request, automatic
// redirects off (a redirect WinHTTP followed by itself would reach an address nobody
// checked). The body is read in pieces of 64 KiB and handed to the receiver as they come.
#include <vector>

#include "platform/http_hop.h"
#include "platform/windows/winhttp_win.h"

namespace tallybell::platform {
namespace {

using windows::WinHTTP句柄;
using 结局 = HTTP单跳结局;

constexpr DWORD 读取块大小 = 65536;

std::optional<std::wstring> 响应头(HINTERNET 请求, DWORD 信息级别) {
  std::wstring 值;
  if (!windows::读取WinHTTP响应头(请求, 信息级别, &值)) return std::nullopt;
  return 值;
}

std::wstring 请求头块(const HTTP单跳请求& 请求) {
  std::wstring 块;
  for (const auto& [名称, 值] : 请求.headers) 块 += 名称 + L": " + 值 + L"\r\n";
  return 块;
}

bool 发送并接收(HINTERNET 请求句柄, const HTTP单跳请求& 请求) {
  const std::wstring 块 = 请求头块(请求);
  const DWORD 正文长度 = 请求.body != nullptr ? static_cast<DWORD>(请求.body->size()) : 0;
  void* 正文数据 = 请求.body != nullptr ? const_cast<char*>(请求.body->data()) : WINHTTP_NO_REQUEST_DATA;
  return ::WinHttpSendRequest(请求句柄, 块.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : 块.c_str(),
                              static_cast<DWORD>(块.size()), 正文数据, 正文长度, 正文长度, 0) &&
         ::WinHttpReceiveResponse(请求句柄, nullptr);
}

HTTP单跳结局 传送正文(HINTERNET 请求, HTTP单跳接收方* 接收方) {
  std::vector<unsigned char> 缓冲(读取块大小);
  for (;;) {
    DWORD 读到 = 0;
    if (!::WinHttpReadData(请求, 缓冲.data(), 读取块大小, &读到)) return 结局::读取正文失败;
    if (读到 == 0) return 结局::完成;
    if (!接收方->正文(缓冲.data(), 读到)) return 结局::接收方停止;
  }
}

}  // namespace

HTTP单跳结局 执行HTTP单跳(const HTTP单跳请求& 请求, HTTP单跳接收方* 接收方) {
  WinHTTP句柄 会话 = windows::打开WinHTTP会话(请求.connectTimeoutMs, 请求.sendTimeoutMs, 请求.receiveTimeoutMs);
  if (!会话) return 结局::无法初始化;
  WinHTTP句柄 连接(::WinHttpConnect(会话.get(), 请求.host.c_str(), 请求.port, 0));
  if (!连接) return 结局::无法连接;
  WinHTTP句柄 请求句柄 = windows::打开WinHTTP请求(连接.get(), 请求.method, 请求.requestTarget, 请求.https);
  if (!请求句柄) return 结局::无法创建请求;
  if (!发送并接收(请求句柄.get(), 请求)) return 结局::请求失败;
  HTTP单跳响应头 头;
  if (!windows::读取WinHTTP状态码(请求句柄.get(), &头.statusCode)) return 结局::无法读取状态码;
  头.location = 响应头(请求句柄.get(), WINHTTP_QUERY_LOCATION);
  头.contentLength = 响应头(请求句柄.get(), WINHTTP_QUERY_CONTENT_LENGTH);
  头.contentRange = 响应头(请求句柄.get(), WINHTTP_QUERY_CONTENT_RANGE);
  头.acceptRanges = 响应头(请求句柄.get(), WINHTTP_QUERY_ACCEPT_RANGES);
  // A declined body is not read: closing the request drops it.
  if (!接收方->响应头(头)) return 结局::接收方停止;
  return 传送正文(请求句柄.get(), 接收方);
}

}  // namespace tallybell::platform
