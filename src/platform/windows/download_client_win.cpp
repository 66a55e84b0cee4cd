// The download transport over WinHTTP. Automatic redirects are off; each hop (the request
// and every redirect taken) opens its own connection and request on the call's session,
// carries the same Range header, and the next address is resolved from the Location
// header and checked before it is requested. The final URL is therefore the last hop's own
// URL, which is why the request's URL option (which Wine does not provide) is not needed.
#include "platform/download_client.h"

#include <optional>
#include <vector>

#include "platform/windows/winhttp_win.h"
#include "transport/download_http_rules.h"

namespace tallybell::platform {
namespace {

using windows::WinHTTP句柄;

bool 失败(std::wstring* 错误, const wchar_t* 消息) {
  if (错误 != nullptr) *错误 = 消息;
  return false;
}

// The handles of one hop, closed request first, then connection.
struct 单跳句柄 {
  WinHTTP句柄 连接;
  WinHTTP句柄 请求;
};

// Connects, opens the GET request, adds the Range header for a non-zero offset, sends
// and waits for the response head.
bool 发出单跳(HINTERNET 会话, const std::wstring& 地址文本, std::uint64_t 起点, 单跳句柄* 句柄,
              std::wstring* 错误) {
  HTTP地址 地址;
  if (!拆分HTTP地址(地址文本, &地址)) return 失败(错误, 下载HTTP消息::无法解析地址);
  句柄->连接.重置(::WinHttpConnect(会话, 地址.host.c_str(), 地址.port, 0));
  if (!句柄->连接) return 失败(错误, 下载HTTP消息::无法连接服务器);
  句柄->请求 = windows::打开WinHTTP请求(句柄->连接.get(), L"GET", 地址.requestTarget, 地址.https);
  if (!句柄->请求) return 失败(错误, 下载HTTP消息::无法创建请求);
  if (起点 != 0) {
    const std::wstring 行 = 下载Range请求头(起点) + L"\r\n";
    if (!::WinHttpAddRequestHeaders(句柄->请求.get(), 行.c_str(), static_cast<DWORD>(行.size()),
                                    WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE)) {
      return 失败(错误, 下载HTTP消息::无法设置Range请求头);
    }
  }
  if (!::WinHttpSendRequest(句柄->请求.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
      !::WinHttpReceiveResponse(句柄->请求.get(), nullptr)) {
    return 失败(错误, 下载HTTP消息::请求失败);
  }
  return true;
}

std::optional<std::wstring> 响应头(HINTERNET 请求, DWORD 信息级别) {
  std::wstring 值;
  if (!windows::读取WinHTTP响应头(请求, 信息级别, &值)) return std::nullopt;
  return 值;
}

// Hands the body over in the pieces WinHTTP reads; a read of 0 bytes ends it.
bool 传送正文(HINTERNET 请求, const 下载数据回调& 数据回调, std::wstring* 错误) {
  std::vector<unsigned char> 缓冲(65536);
  for (;;) {
    DWORD 读到 = 0;
    if (!::WinHttpReadData(请求, 缓冲.data(), static_cast<DWORD>(缓冲.size()), &读到)) {
      return 失败(错误, 下载HTTP消息::读取正文失败);
    }
    if (读到 == 0) break;
    if (!数据回调(缓冲.data(), 读到, 错误)) return false;
  }
  if (错误 != nullptr) 错误->clear();
  return true;
}

}  // namespace

bool WinHttp客户端::下载(const 下载请求& 请求, const 下载响应回调& 响应回调, const 下载数据回调& 数据回调,
                         std::wstring* 错误) {
  HTTP地址 地址;
  if (!检查下载请求(请求, 响应回调, 数据回调, &地址, 错误)) return false;
  WinHTTP句柄 会话 = windows::打开WinHTTP会话(请求.connectTimeoutMs, 请求.sendTimeoutMs, 请求.receiveTimeoutMs);
  if (!会话) return 失败(错误, 下载HTTP消息::无法初始化会话);
  下载跳转状态 跳转{请求.url};
  for (;;) {
    单跳句柄 句柄;
    if (!发出单跳(会话.get(), 跳转.url, 请求.rangeStart, &句柄, 错误)) return false;
    std::uint32_t 状态码 = 0;
    if (!windows::读取WinHTTP状态码(句柄.请求.get(), &状态码)) return 失败(错误, 下载HTTP消息::无法读取状态码);
    std::wstring 位置;
    if (是跳转状态码(状态码) && windows::读取WinHTTP响应头(句柄.请求.get(), WINHTTP_QUERY_LOCATION, &位置)) {
      // The redirect's own body is not read: closing its request drops it.
      if (!跟随下载跳转(&跳转, 位置, 错误)) return false;
      continue;
    }
    下载原始响应头 原始;
    原始.contentLength = 响应头(句柄.请求.get(), WINHTTP_QUERY_CONTENT_LENGTH);
    原始.contentRange = 响应头(句柄.请求.get(), WINHTTP_QUERY_CONTENT_RANGE);
    原始.acceptRanges = 响应头(句柄.请求.get(), WINHTTP_QUERY_ACCEPT_RANGES);
    下载响应 响应;
    if (!构建下载响应头(状态码, 跳转.url, 原始, &响应, 错误)) return false;
    if (!响应回调(响应, 错误)) return false;
    return 传送正文(句柄.请求.get(), 数据回调, 错误);
  }
}

}  // namespace tallybell::platform
