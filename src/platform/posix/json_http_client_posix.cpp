// The JSON transport over libcurl. Each hop of a request (the request itself and every
// redirect taken) is one easy handle with automatic redirects off: the next address is
// read from CURLINFO_REDIRECT_URL and checked by the address rule before it is requested.
#include <cwctype>
#include <utility>

#include "common/text.h"
#include "platform/json_http_client.h"
#include "platform/posix/curl_posix.h"
#include "transport/json_http_rules.h"

namespace tallybell::platform {
namespace {

bool 失败(std::wstring* 错误, const wchar_t* 消息) {
  if (错误 != nullptr) *错误 = 消息;
  return false;
}

// What the callbacks of one hop share.
struct 单跳上下文 {
  CURL* 句柄 = nullptr;
  CURL停顿监视* 监视 = nullptr;
  JsonHttp正文缓冲* 正文 = nullptr;
  bool 超过上限 = false;    // the cap stopped the transfer
  bool 响应头已到 = false;  // the head of the final (not 1xx) response is complete
  bool 弃用正文 = false;    // a redirect we may follow: its body is not wanted
};

struct 单跳结果 {
  std::uint32_t 状态码 = 0;
  std::string 跳转地址;  // absolute; set only for a redirect status with a Location
  std::string 实际地址;  // the URL libcurl requested
  std::string 正文;
};

std::string 跳转目标(CURL* 句柄) {
  long 状态码 = 0;
  char* 目标 = nullptr;
  if (::curl_easy_getinfo(句柄, CURLINFO_RESPONSE_CODE, &状态码) != CURLE_OK || 状态码 < 0 ||
      !是跳转状态码(static_cast<std::uint32_t>(状态码)) ||
      ::curl_easy_getinfo(句柄, CURLINFO_REDIRECT_URL, &目标) != CURLE_OK || 目标 == nullptr) {
    return {};
  }
  return 目标;
}

std::size_t 头回调(char* 数据, std::size_t, std::size_t 数量, void* 用户) {
  auto* 上下文 = static_cast<单跳上下文*>(用户);
  上下文->监视->有进展();
  const bool 空行 = 数量 == 0 || (数量 <= 2 && (数据[0] == '\r' || 数据[0] == '\n'));
  long 状态码 = 0;
  // A 1xx head is followed by another; only a final head means the body comes next.
  if (空行 && ::curl_easy_getinfo(上下文->句柄, CURLINFO_RESPONSE_CODE, &状态码) == CURLE_OK && 状态码 >= 200) {
    上下文->响应头已到 = true;
  }
  return 数量;
}

std::size_t 写回调(char* 数据, std::size_t, std::size_t 数量, void* 用户) {
  auto* 上下文 = static_cast<单跳上下文*>(用户);
  if (上下文->弃用正文 || !跳转目标(上下文->句柄).empty()) {
    上下文->弃用正文 = true;
    return 0;
  }
  if (!上下文->正文->追加(数据, 数量, nullptr)) {
    上下文->超过上限 = true;
    return 0;
  }
  return 数量;
}

bool 有请求头(const JsonHttp请求& 请求, const std::wstring& 名称) {
  for (const auto& 请求头 : 请求.headers) {
    if (请求头.first.size() != 名称.size()) continue;
    bool 相同 = true;
    for (std::size_t i = 0; i < 名称.size() && 相同; ++i) {
      相同 = std::towlower(请求头.first[i]) == std::towlower(名称[i]);
    }
    if (相同) return true;
  }
  return false;
}

// The caller's headers in order. libcurl adds Accept, Expect and (with a body) a form
// Content-Type of its own; WinHTTP sends none of them, so they are removed unless the
// caller set them.
bool 设置请求头(const JsonHttp请求& 请求, bool 带正文, CURL请求头表* 表) {
  for (const auto& [名称, 值] : 请求.headers) {
    std::string 行;
    if (!宽转UTF8(名称 + L": " + 值, &行) || !表->追加(行)) return false;
  }
  if (!有请求头(请求, L"Accept") && !表->追加("Accept:")) return false;
  if (!有请求头(请求, L"Expect") && !表->追加("Expect:")) return false;
  return !带正文 || 有请求头(请求, L"Content-Type") || 表->追加("Content-Type:");
}

// A body goes out when this hop still carries one, and for POST even when it is empty
// (as "Content-Length: 0").
bool 设置方法与正文(CURL* 句柄, const JsonHttp请求& 请求, const JsonHttp跳转状态& 跳转, bool* 带正文) {
  std::string 方法;
  if (!宽转UTF8(跳转.method, &方法)) return false;
  *带正文 = 跳转.发送正文 && (!请求.body.empty() || 方法 == "POST");
  if (*带正文) {
    return ::curl_easy_setopt(句柄, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(请求.body.size())) ==
               CURLE_OK &&
           ::curl_easy_setopt(句柄, CURLOPT_POSTFIELDS, 请求.body.data()) == CURLE_OK &&
           (方法 == "POST" || ::curl_easy_setopt(句柄, CURLOPT_CUSTOMREQUEST, 方法.c_str()) == CURLE_OK);
  }
  if (方法 == "GET") return ::curl_easy_setopt(句柄, CURLOPT_HTTPGET, 1L) == CURLE_OK;
  if (方法 == "HEAD") return ::curl_easy_setopt(句柄, CURLOPT_NOBODY, 1L) == CURLE_OK;
  return ::curl_easy_setopt(句柄, CURLOPT_CUSTOMREQUEST, 方法.c_str()) == CURLE_OK;
}

bool 设置回调(CURL* 句柄, 单跳上下文* 上下文) {
  curl_write_callback 写 = &写回调;
  curl_write_callback 头 = &头回调;
  return ::curl_easy_setopt(句柄, CURLOPT_WRITEFUNCTION, 写) == CURLE_OK &&
         ::curl_easy_setopt(句柄, CURLOPT_WRITEDATA, 上下文) == CURLE_OK &&
         ::curl_easy_setopt(句柄, CURLOPT_HEADERFUNCTION, 头) == CURLE_OK &&
         ::curl_easy_setopt(句柄, CURLOPT_HEADERDATA, 上下文) == CURLE_OK;
}

bool 读取结果(CURL* 句柄, 单跳结果* 结果, std::wstring* 错误) {
  long 状态码 = 0;
  if (::curl_easy_getinfo(句柄, CURLINFO_RESPONSE_CODE, &状态码) != CURLE_OK || 状态码 < 100 || 状态码 > 999) {
    return 失败(错误, JsonHttp消息::无法读取状态码);
  }
  结果->状态码 = static_cast<std::uint32_t>(状态码);
  结果->跳转地址 = 跳转目标(句柄);
  char* 实际地址 = nullptr;
  if (::curl_easy_getinfo(句柄, CURLINFO_EFFECTIVE_URL, &实际地址) == CURLE_OK && 实际地址 != nullptr) {
    结果->实际地址 = 实际地址;
  }
  return true;
}

// One request without following redirects.
bool 执行单跳(const JsonHttp请求& 请求, const JsonHttp跳转状态& 跳转, 单跳结果* 结果, std::wstring* 错误) {
  HTTP地址 地址;
  std::string 连接地址;
  if (!拆分HTTP地址(跳转.url, &地址) || !宽转UTF8(HTTP连接地址(地址), &连接地址)) {
    return 失败(错误, JsonHttp消息::无法解析地址);
  }
  CURL句柄 句柄(::curl_easy_init());
  if (!句柄) return 失败(错误, JsonHttp消息::无法初始化会话);
  CURL停顿监视 监视(句柄.get(), {请求.connectTimeoutMs, 请求.sendTimeoutMs, 请求.receiveTimeoutMs});
  JsonHttp正文缓冲 正文(请求.maxResponseBytes);
  单跳上下文 上下文{句柄.get(), &监视, &正文};
  CURL请求头表 请求头;
  bool 带正文 = false;
  if (!设置CURL公共选项(句柄.get(), 连接地址, {请求.connectTimeoutMs, 请求.sendTimeoutMs, 请求.receiveTimeoutMs},
                        &监视) ||
      !设置方法与正文(句柄.get(), 请求, 跳转, &带正文) || !设置请求头(请求, 带正文, &请求头) ||
      ::curl_easy_setopt(句柄.get(), CURLOPT_HTTPHEADER, 请求头.get()) != CURLE_OK || !设置回调(句柄.get(), &上下文)) {
    return 失败(错误, JsonHttp消息::无法创建请求);
  }
  const CURLcode 代码 = ::curl_easy_perform(句柄.get());
  if (代码 != CURLE_OK && !(代码 == CURLE_WRITE_ERROR && 上下文.弃用正文)) {
    if (上下文.超过上限) return 失败(错误, JsonHttp消息::响应超过大小上限);
    return 失败(错误, 上下文.响应头已到 ? JsonHttp消息::读取响应失败 : JsonHttp消息::请求失败);
  }
  if (!读取结果(句柄.get(), 结果, 错误)) return false;
  结果->正文 = 正文.取出();
  return true;
}

}  // namespace

bool JsonCurl客户端::发送(const JsonHttp请求& 请求, JsonHttp响应* 响应, std::wstring* 错误) {
  JsonHttp准备结果 准备;
  if (!准备JsonHttp请求(请求, 响应, &准备, 错误)) return false;
  if (!初始化CURL()) return 失败(错误, JsonHttp消息::无法初始化会话);
  JsonHttp跳转状态 跳转(请求);
  for (;;) {
    单跳结果 结果;
    if (!执行单跳(请求, 跳转, &结果, 错误)) return false;
    if (!结果.跳转地址.empty()) {
      std::wstring 目标;
      if (!UTF8转宽(结果.跳转地址, &目标)) return 失败(错误, JsonHttp消息::最终地址不在允许地址内);
      if (!跟随JsonHttp跳转(&跳转, 结果.状态码, 目标, 请求.allowContentHost, 错误)) return false;
      continue;
    }
    // The hop's own URL passed the rule before it was requested; what libcurl reports
    // having requested must pass it too.
    std::wstring 实际地址;
    if (!UTF8转宽(结果.实际地址, &实际地址) || !JsonHttp地址允许(实际地址, 请求.allowContentHost) ||
        !JsonHttp地址允许(跳转.url, 请求.allowContentHost)) {
      return 失败(错误, JsonHttp消息::最终地址不在允许地址内);
    }
    响应->statusCode = 结果.状态码;
    响应->finalUrl = 跳转.url;
    响应->body = std::move(结果.正文);
    if (错误 != nullptr) 错误->clear();
    return true;
  }
}

}  // namespace tallybell::platform
