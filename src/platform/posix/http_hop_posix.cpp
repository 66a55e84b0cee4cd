// One HTTP exchange over libcurl: one easy handle and connection per hop, automatic
// redirects off. The head is read line by line in the header callback and offered to the
// receiver when the head of the final response is complete, so the receiver sees it
// before any body byte and can decline the body (a redirect's, for one).
#include <algorithm>
#include <cctype>
#include <cwctype>

#include "common/text.h"
#include "platform/http_hop.h"
#include "platform/posix/curl_posix.h"

namespace tallybell::platform {
namespace {

using 结局 = HTTP单跳结局;

// What the callbacks of one hop share.
struct 单跳上下文 {
  CURL* 句柄 = nullptr;
  CURL停顿监视* 监视 = nullptr;
  HTTP单跳接收方* 接收方 = nullptr;
  HTTP单跳响应头 头;
  bool 已交响应头 = false;  // the receiver took the head; body bytes are its now
  bool 已停止 = false;      // the receiver said no
  bool 状态码无效 = false;
};

bool 名称相同(const std::string& 名称, const char* 期望) {
  std::size_t i = 0;
  for (; i < 名称.size() && 期望[i] != '\0'; ++i) {
    if (std::tolower(static_cast<unsigned char>(名称[i])) != std::tolower(static_cast<unsigned char>(期望[i]))) {
      return false;
    }
  }
  return i == 名称.size() && 期望[i] == '\0';
}

// Keeps the first value of each header the clients read, without the blanks around it.
void 记录响应头(const std::string& 行, HTTP单跳响应头* 头) {
  const std::size_t 冒号 = 行.find(':');
  if (冒号 == std::string::npos) return;
  const std::string 名称 = 行.substr(0, 冒号);
  std::optional<std::wstring>* 槽 = nullptr;
  if (名称相同(名称, "Content-Length")) 槽 = &头->contentLength;
  if (名称相同(名称, "Content-Range")) 槽 = &头->contentRange;
  if (名称相同(名称, "Accept-Ranges")) 槽 = &头->acceptRanges;
  if (名称相同(名称, "Location")) 槽 = &头->location;
  if (槽 == nullptr || *槽) return;
  const std::size_t 起 = std::min(行.find_first_not_of(" \t", 冒号 + 1), 行.size());
  const std::size_t 止 = 行.find_last_not_of(" \t");
  *槽 = 逐字节加宽(止 == std::string::npos || 止 < 起 ? std::string() : 行.substr(起, 止 - 起 + 1));
}

std::size_t 头回调(char* 数据, std::size_t, std::size_t 数量, void* 用户) {
  auto* 上下文 = static_cast<单跳上下文*>(用户);
  上下文->监视->有进展();
  // Trailers of a chunked body come here too; the head was decided before the body.
  if (上下文->已交响应头) return 数量;
  std::string 行(数据, 数量);
  while (!行.empty() && (行.back() == '\n' || 行.back() == '\r')) 行.pop_back();
  if (行.compare(0, 5, "HTTP/") == 0) {
    上下文->头 = {};  // a new head begins (after a 1xx one): forget the headers seen so far
    return 数量;
  }
  if (!行.empty()) {
    记录响应头(行, &上下文->头);
    return 数量;
  }
  long 状态码 = 0;
  if (::curl_easy_getinfo(上下文->句柄, CURLINFO_RESPONSE_CODE, &状态码) != CURLE_OK || 状态码 < 100 || 状态码 > 999) {
    上下文->状态码无效 = true;
    return 0;
  }
  if (状态码 < 200) return 数量;  // an interim head; the final one follows
  上下文->头.statusCode = static_cast<std::uint32_t>(状态码);
  上下文->已交响应头 = true;
  上下文->已停止 = !上下文->接收方->响应头(上下文->头);
  return 上下文->已停止 ? 0 : 数量;
}

std::size_t 写回调(char* 数据, std::size_t, std::size_t 数量, void* 用户) {
  auto* 上下文 = static_cast<单跳上下文*>(用户);
  if (!上下文->已交响应头) return 0;
  上下文->已停止 = !上下文->接收方->正文(reinterpret_cast<const unsigned char*>(数据), 数量);
  return 上下文->已停止 ? 0 : 数量;
}

// Called about once a second even when nothing arrives: the receiver has its say, then
// the pause watch.
int 进度回调(void* 用户, curl_off_t 下载总量, curl_off_t 已下载, curl_off_t 上传总量, curl_off_t 已上传) {
  auto* 上下文 = static_cast<单跳上下文*>(用户);
  if (上下文->已交响应头 && !上下文->已停止 && !上下文->接收方->等待中()) {
    上下文->已停止 = true;
    return 1;
  }
  return CURL停顿监视::回调(上下文->监视, 下载总量, 已下载, 上传总量, 已上传);
}

bool 设置回调(CURL* 句柄, 单跳上下文* 上下文) {
  curl_write_callback 写 = &写回调;
  curl_write_callback 头 = &头回调;
  curl_xferinfo_callback 进度 = &进度回调;
  // A proxy tunnel's own head must not be taken for the server's.
  return ::curl_easy_setopt(句柄, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L) == CURLE_OK &&
         ::curl_easy_setopt(句柄, CURLOPT_WRITEFUNCTION, 写) == CURLE_OK &&
         ::curl_easy_setopt(句柄, CURLOPT_WRITEDATA, 上下文) == CURLE_OK &&
         ::curl_easy_setopt(句柄, CURLOPT_HEADERFUNCTION, 头) == CURLE_OK &&
         ::curl_easy_setopt(句柄, CURLOPT_HEADERDATA, 上下文) == CURLE_OK &&
         ::curl_easy_setopt(句柄, CURLOPT_XFERINFOFUNCTION, 进度) == CURLE_OK &&
         ::curl_easy_setopt(句柄, CURLOPT_XFERINFODATA, 上下文) == CURLE_OK;
}

bool 有请求头(const HTTP单跳请求& 请求, const std::wstring& 名称) {
  for (const auto& 请求头 : 请求.headers) {
    if (请求头.first.size() != 名称.size()) continue;
    bool 相同 = true;
    for (std::size_t i = 0; i < 名称.size() && 相同; ++i) 相同 = std::towlower(请求头.first[i]) == std::towlower(名称[i]);
    if (相同) return true;
  }
  return false;
}

// The caller's headers in order. libcurl adds Accept, Expect and (with a body) a form
// Content-Type of its own; WinHTTP sends none of them, so they go unless the caller set them.
bool 设置请求头(const HTTP单跳请求& 请求, bool 带正文, CURL请求头表* 表) {
  for (const auto& [名称, 值] : 请求.headers) {
    std::string 行;
    if (!宽转UTF8(名称 + L": " + 值, &行) || !表->追加(行)) return false;
  }
  if (!有请求头(请求, L"Accept") && !表->追加("Accept:")) return false;
  if (!有请求头(请求, L"Expect") && !表->追加("Expect:")) return false;
  return !带正文 || 有请求头(请求, L"Content-Type") || 表->追加("Content-Type:");
}

// A body goes out when there is one, and for POST even when there is none (as
// "Content-Length: 0"), as WinHTTP does.
bool 设置方法与正文(CURL* 句柄, const HTTP单跳请求& 请求, bool* 带正文) {
  std::string 方法;
  if (!宽转UTF8(请求.method, &方法)) return false;
  static const std::string 无正文;
  const std::string& 正文 = 请求.body != nullptr ? *请求.body : 无正文;
  *带正文 = 请求.body != nullptr || 方法 == "POST";
  if (*带正文) {
    return ::curl_easy_setopt(句柄, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(正文.size())) == CURLE_OK &&
           ::curl_easy_setopt(句柄, CURLOPT_POSTFIELDS, 正文.data()) == CURLE_OK &&
           (方法 == "POST" || ::curl_easy_setopt(句柄, CURLOPT_CUSTOMREQUEST, 方法.c_str()) == CURLE_OK);
  }
  if (方法 == "GET") return ::curl_easy_setopt(句柄, CURLOPT_HTTPGET, 1L) == CURLE_OK;
  if (方法 == "HEAD") return ::curl_easy_setopt(句柄, CURLOPT_NOBODY, 1L) == CURLE_OK;
  return ::curl_easy_setopt(句柄, CURLOPT_CUSTOMREQUEST, 方法.c_str()) == CURLE_OK;
}

}  // namespace

HTTP单跳结局 执行HTTP单跳(const HTTP单跳请求& 请求, HTTP单跳接收方* 接收方) {
  std::string 地址;
  const std::wstring 宽地址 = std::wstring(请求.https ? L"https://" : L"http://") + 请求.host + L":" +
                             std::to_wstring(请求.port) + 请求.requestTarget;
  if (!初始化CURL() || !宽转UTF8(宽地址, &地址)) return 结局::无法初始化;
  CURL句柄 句柄(::curl_easy_init());
  if (!句柄) return 结局::无法初始化;
  const HTTP时限 时限{请求.connectTimeoutMs, 请求.sendTimeoutMs, 请求.receiveTimeoutMs};
  CURL停顿监视 监视(句柄.get(), 时限);
  单跳上下文 上下文;
  上下文.句柄 = 句柄.get();
  上下文.监视 = &监视;
  上下文.接收方 = 接收方;
  CURL请求头表 请求头;
  bool 带正文 = false;
  if (!设置CURL公共选项(句柄.get(), 地址, 时限, &监视) || !设置回调(句柄.get(), &上下文) ||
      !设置方法与正文(句柄.get(), 请求, &带正文) || !设置请求头(请求, 带正文, &请求头) ||
      ::curl_easy_setopt(句柄.get(), CURLOPT_HTTPHEADER, 请求头.get()) != CURLE_OK) {
    return 结局::无法创建请求;
  }
  const CURLcode 代码 = ::curl_easy_perform(句柄.get());
  if (上下文.已停止) return 结局::接收方停止;
  if (上下文.状态码无效) return 结局::无法读取状态码;
  if (!上下文.已交响应头) return 结局::请求失败;
  return 代码 == CURLE_OK ? 结局::完成 : 结局::读取正文失败;
}

}  // namespace tallybell::platform
