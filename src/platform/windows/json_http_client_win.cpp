// The JSON transport over WinHTTP. Automatic redirects are off; each hop (the request and
// every redirect taken) opens its own connection and request on the call's session, and
// the next address is resolved from the Location header and checked by the address rule
// before it is requested. The final URL is therefore the last hop's own URL, which is why
// the request's URL option (which Wine does not provide) is never needed.
#include "platform/json_http_client.h"

#include <utility>
#include <vector>

#include "platform/windows/winhttp_win.h"
#include "transport/json_http_rules.h"

namespace tallybell::platform {
namespace {

using windows::WinHTTP句柄;

constexpr DWORD 读取块大小 = 65536;

bool 失败(std::wstring* 错误, const wchar_t* 消息) {
  if (错误 != nullptr) *错误 = 消息;
  return false;
}

struct 单跳结果 {
  std::uint32_t 状态码 = 0;
  std::wstring 跳转地址;  // absolute; set only for a redirect status with a Location
  std::string 正文;
};

bool 发送并接收(HINTERNET 请求, const std::wstring& 请求头块, const std::string& 正文, bool 带正文) {
  const DWORD 正文长度 = 带正文 ? static_cast<DWORD>(正文.size()) : 0;
  void* 正文数据 = 带正文 ? const_cast<char*>(正文.data()) : WINHTTP_NO_REQUEST_DATA;
  return ::WinHttpSendRequest(请求, 请求头块.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : 请求头块.c_str(),
                              static_cast<DWORD>(请求头块.size()), 正文数据, 正文长度, 正文长度, 0) &&
         ::WinHttpReceiveResponse(请求, nullptr);
}

bool 读取正文(HINTERNET 请求, std::uint64_t 上限, std::string* 输出, std::wstring* 错误) {
  JsonHttp正文缓冲 正文(上限);
  std::vector<char> 缓冲(读取块大小);
  for (;;) {
    DWORD 读到 = 0;
    if (!::WinHttpReadData(请求, 缓冲.data(), 读取块大小, &读到)) return 失败(错误, JsonHttp消息::读取响应失败);
    if (读到 == 0) break;
    if (!正文.追加(缓冲.data(), 读到, 错误)) return false;
  }
  *输出 = 正文.取出();
  return true;
}

// One request without following redirects. A redirect's body is not read: closing the
// request drops it.
bool 执行单跳(HINTERNET 会话, const JsonHttp请求& 请求, const JsonHttp跳转状态& 跳转, const std::wstring& 请求头块,
              单跳结果* 结果, std::wstring* 错误) {
  HTTP地址 地址;
  if (!拆分HTTP地址(跳转.url, &地址)) return 失败(错误, JsonHttp消息::无法解析地址);
  WinHTTP句柄 连接(::WinHttpConnect(会话, 地址.host.c_str(), 地址.port, 0));
  if (!连接) return 失败(错误, JsonHttp消息::无法连接服务器);
  WinHTTP句柄 请求句柄 = windows::打开WinHTTP请求(连接.get(), 跳转.method, 地址.requestTarget, 地址.https);
  if (!请求句柄) return 失败(错误, JsonHttp消息::无法创建请求);
  const bool 带正文 = 跳转.发送正文 && !请求.body.empty();
  if (!发送并接收(请求句柄.get(), 请求头块, 请求.body, 带正文)) return 失败(错误, JsonHttp消息::请求失败);
  if (!windows::读取WinHTTP状态码(请求句柄.get(), &结果->状态码)) return 失败(错误, JsonHttp消息::无法读取状态码);
  std::wstring 位置;
  if (是跳转状态码(结果->状态码) && windows::读取WinHTTP响应头(请求句柄.get(), WINHTTP_QUERY_LOCATION, &位置)) {
    if (!合成跳转地址(跳转.url, 位置, &结果->跳转地址)) return 失败(错误, JsonHttp消息::最终地址不在允许地址内);
    return true;
  }
  return 读取正文(请求句柄.get(), 请求.maxResponseBytes, &结果->正文, 错误);
}

}  // namespace

bool JsonWinHttp客户端::发送(const JsonHttp请求& 请求, JsonHttp响应* 响应, std::wstring* 错误) {
  JsonHttp准备结果 准备;
  if (!准备JsonHttp请求(请求, 响应, &准备, 错误)) return false;
  WinHTTP句柄 会话 = windows::打开WinHTTP会话(请求.connectTimeoutMs, 请求.sendTimeoutMs, 请求.receiveTimeoutMs);
  if (!会话) return 失败(错误, JsonHttp消息::无法初始化会话);
  JsonHttp跳转状态 跳转(请求);
  for (;;) {
    单跳结果 结果;
    if (!执行单跳(会话.get(), 请求, 跳转, 准备.请求头块, &结果, 错误)) return false;
    if (!结果.跳转地址.empty()) {
      if (!跟随JsonHttp跳转(&跳转, 结果.状态码, 结果.跳转地址, 请求.allowContentHost, 错误)) return false;
      continue;
    }
    if (!JsonHttp地址允许(跳转.url, 请求.allowContentHost)) return 失败(错误, JsonHttp消息::最终地址不在允许地址内);
    响应->statusCode = 结果.状态码;
    响应->finalUrl = 跳转.url;
    响应->body = std::move(结果.正文);
    if (错误 != nullptr) 错误->clear();
    return true;
  }
}

}  // namespace tallybell::platform
