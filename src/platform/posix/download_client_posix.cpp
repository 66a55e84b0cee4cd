// The download transport over libcurl. Each hop of a download (the request itself and
// every redirect taken) is one easy handle with automatic redirects off: the next address
// comes from the Location header and is checked before it is requested.
//
// The head is read line by line in the header callback and handed over when the head of
// the final response is complete, so the caller sees it before any body byte. The body is
// gathered and handed over in chunks of a fixed size, because every chunk costs the
// download task a flush and a checkpoint rewrite; bytes that arrived are also handed over
// when they have waited too long and when the transfer ends, well or not, so a cut-off
// transfer keeps everything it received.
#include "platform/download_client.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "common/text.h"
#include "platform/clock.h"
#include "platform/posix/curl_posix.h"
#include "transport/download_http_rules.h"

namespace tallybell::platform {
namespace {

constexpr std::size_t 最大交付块字节 = 64u << 20;

bool 失败(std::wstring* 错误, const wchar_t* 消息) {
  if (错误 != nullptr) *错误 = 消息;
  return false;
}

// Gathers the body and hands it to the caller's callback in chunks of 块字节 bytes, or
// sooner once bytes have waited for 最长滞留毫秒.
class 正文交付 {
 public:
  正文交付(const 下载数据回调& 回调, std::size_t 块字节, std::wstring* 错误)
      : 回调_(回调), 块字节_(块字节), 错误_(错误) {}

  // The head was accepted: the body may come.
  void 开始() {
    缓冲_.reserve(块字节_);
    上次交付_ = 毫秒计时();
  }

  // False when the callback refused a chunk; its message is then in place.
  bool 追加(const char* 数据, std::size_t 长度) {
    while (长度 > 0) {
      const std::size_t 份 = std::min(长度, 块字节_ - 缓冲_.size());
      缓冲_.insert(缓冲_.end(), 数据, 数据 + 份);
      数据 += 份;
      长度 -= 份;
      if (缓冲_.size() == 块字节_ && !交付()) return false;
    }
    return true;
  }

  bool 到期则交付() { return 缓冲_.empty() || 毫秒计时() - 上次交付_ < Curl下载客户端::最长滞留毫秒 || 交付(); }

  bool 交付() {
    上次交付_ = 毫秒计时();
    if (缓冲_.empty()) return true;
    const bool 接受 = 回调_(缓冲_.data(), 缓冲_.size(), 错误_);
    缓冲_.clear();
    return 接受;
  }

 private:
  const 下载数据回调& 回调_;
  std::size_t 块字节_;
  std::wstring* 错误_;
  std::vector<unsigned char> 缓冲_;
  std::uint64_t 上次交付_ = 0;
};

// What the callbacks of one hop share.
struct 单跳上下文 {
  CURL* 句柄 = nullptr;
  CURL停顿监视* 监视 = nullptr;
  const std::wstring* 地址 = nullptr;
  const 下载响应回调* 响应回调 = nullptr;
  正文交付* 正文 = nullptr;
  std::wstring* 错误 = nullptr;
  下载原始响应头 原始;
  std::optional<std::wstring> 位置;
  bool 已接受头 = false;  // the caller took the head; body bytes are the caller's now
  bool 跳转 = false;      // a redirect head: its body is not wanted
  bool 已定结局 = false;  // *错误 holds the reason the transfer was stopped
};

bool 名称相同(const std::string& 名称, const char* 期望) {
  std::size_t i = 0;
  for (; i < 名称.size() && 期望[i] != '\0'; ++i) {
    const char 字符 = 名称[i] >= 'A' && 名称[i] <= 'Z' ? static_cast<char>(名称[i] - 'A' + 'a') : 名称[i];
    const char 期望字符 = 期望[i] >= 'A' && 期望[i] <= 'Z' ? static_cast<char>(期望[i] - 'A' + 'a') : 期望[i];
    if (字符 != 期望字符) return false;
  }
  return i == 名称.size() && 期望[i] == '\0';
}

// Keeps the first value of each header the head is made of, without the blanks around it.
void 记录响应头(const std::string& 行, 单跳上下文* 上下文) {
  const std::size_t 冒号 = 行.find(':');
  if (冒号 == std::string::npos) return;
  const std::string 名称 = 行.substr(0, 冒号);
  std::optional<std::wstring>* 槽 = nullptr;
  if (名称相同(名称, "Content-Length")) 槽 = &上下文->原始.contentLength;
  if (名称相同(名称, "Content-Range")) 槽 = &上下文->原始.contentRange;
  if (名称相同(名称, "Accept-Ranges")) 槽 = &上下文->原始.acceptRanges;
  if (名称相同(名称, "Location")) 槽 = &上下文->位置;
  if (槽 == nullptr || *槽) return;
  const std::size_t 起 = std::min(行.find_first_not_of(" \t", 冒号 + 1), 行.size());
  const std::size_t 止 = 行.find_last_not_of(" \t");
  *槽 = 逐字节加宽(止 == std::string::npos || 止 < 起 ? std::string() : 行.substr(起, 止 - 起 + 1));
}

bool 定结局(单跳上下文* 上下文, const wchar_t* 消息) {
  上下文->已定结局 = true;
  return 失败(上下文->错误, 消息);
}

// The head of the final response is complete: a redirect stops here; anything else is
// checked, read into the head and offered to the caller.
bool 响应头完成(单跳上下文* 上下文, long 状态码) {
  if (状态码 < 100 || 状态码 > 999) return 定结局(上下文, 下载HTTP消息::无法读取状态码);
  const auto 状态 = static_cast<std::uint32_t>(状态码);
  if (是跳转状态码(状态) && 上下文->位置) {
    上下文->跳转 = true;
    return false;
  }
  下载响应 响应;
  if (!构建下载响应头(状态, *上下文->地址, 上下文->原始, &响应, 上下文->错误) ||
      !(*上下文->响应回调)(响应, 上下文->错误)) {
    上下文->已定结局 = true;
    return false;
  }
  上下文->已接受头 = true;
  上下文->正文->开始();
  return true;
}

std::size_t 头回调(char* 数据, std::size_t, std::size_t 数量, void* 用户) {
  auto* 上下文 = static_cast<单跳上下文*>(用户);
  上下文->监视->有进展();
  // Trailers of a chunked body come here too; the head was decided before the body.
  if (上下文->已接受头) return 数量;
  std::string 行(数据, 数量);
  while (!行.empty() && (行.back() == '\n' || 行.back() == '\r')) 行.pop_back();
  if (行.compare(0, 5, "HTTP/") == 0) {
    // A new head begins (after a 1xx one): forget the headers seen so far.
    上下文->原始 = {};
    上下文->位置.reset();
    return 数量;
  }
  if (!行.empty()) {
    记录响应头(行, 上下文);
    return 数量;
  }
  long 状态码 = 0;
  if (::curl_easy_getinfo(上下文->句柄, CURLINFO_RESPONSE_CODE, &状态码) == CURLE_OK && 状态码 >= 100 &&
      状态码 < 200) {
    return 数量;  // an interim head; the final one follows
  }
  return 响应头完成(上下文, 状态码) ? 数量 : 0;
}

std::size_t 写回调(char* 数据, std::size_t, std::size_t 数量, void* 用户) {
  auto* 上下文 = static_cast<单跳上下文*>(用户);
  if (!上下文->已接受头) return 0;
  if (!上下文->正文->追加(数据, 数量) || !上下文->正文->到期则交付()) {
    上下文->已定结局 = true;
    return 0;
  }
  return 数量;
}

// Called about once a second even when nothing arrives: bytes that waited too long are
// handed over, then the pause watch has its say.
int 进度回调(void* 用户, curl_off_t 下载总量, curl_off_t 已下载, curl_off_t 上传总量, curl_off_t 已上传) {
  auto* 上下文 = static_cast<单跳上下文*>(用户);
  if (上下文->已接受头 && !上下文->已定结局 && !上下文->正文->到期则交付()) {
    上下文->已定结局 = true;
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

// libcurl's own Accept header goes (WinHTTP sends none); Range only for an offset.
bool 设置请求头(CURL* 句柄, std::uint64_t 起点, CURL请求头表* 表, std::wstring* 错误) {
  if (!表->追加("Accept:")) return 失败(错误, 下载HTTP消息::无法创建请求);
  std::string 行;
  if (起点 != 0 && (!宽转UTF8(下载Range请求头(起点), &行) || !表->追加(行))) {
    return 失败(错误, 下载HTTP消息::无法设置Range请求头);
  }
  if (::curl_easy_setopt(句柄, CURLOPT_HTTPHEADER, 表->get()) != CURLE_OK) {
    return 失败(错误, 下载HTTP消息::无法创建请求);
  }
  return true;
}

struct 单跳结果 {
  bool 跳转 = false;
  std::wstring 位置;  // the raw Location of a redirect
};

// One request without following redirects. True when the body ended (with *错误 cleared)
// or a redirect came (with 结果 telling where).
bool 执行单跳(const 下载请求& 请求, const std::wstring& 地址文本, const 下载响应回调& 响应回调,
              const 下载数据回调& 数据回调, std::size_t 块字节, 单跳结果* 结果, std::wstring* 错误) {
  HTTP地址 地址;
  std::string 连接地址;
  if (!拆分HTTP地址(地址文本, &地址) || !宽转UTF8(HTTP连接地址(地址), &连接地址)) {
    return 失败(错误, 下载HTTP消息::无法解析地址);
  }
  CURL句柄 句柄(::curl_easy_init());
  if (!句柄) return 失败(错误, 下载HTTP消息::无法初始化会话);
  const HTTP时限 时限{请求.connectTimeoutMs, 请求.sendTimeoutMs, 请求.receiveTimeoutMs};
  CURL停顿监视 监视(句柄.get(), 时限);
  正文交付 正文(数据回调, 块字节, 错误);
  单跳上下文 上下文;
  上下文.句柄 = 句柄.get();
  上下文.监视 = &监视;
  上下文.地址 = &地址文本;
  上下文.响应回调 = &响应回调;
  上下文.正文 = &正文;
  上下文.错误 = 错误;
  if (!设置CURL公共选项(句柄.get(), 连接地址, 时限, &监视) || !设置回调(句柄.get(), &上下文)) {
    return 失败(错误, 下载HTTP消息::无法创建请求);
  }
  CURL请求头表 请求头;
  if (!设置请求头(句柄.get(), 请求.rangeStart, &请求头, 错误)) return false;

  const CURLcode 代码 = ::curl_easy_perform(句柄.get());
  if (上下文.跳转) {
    结果->跳转 = true;
    结果->位置 = *上下文.位置;
    return true;
  }
  if (上下文.已定结局) return false;
  if (!上下文.已接受头) return 失败(错误, 下载HTTP消息::请求失败);
  // What arrived before an error is handed over too: the caller keeps every good byte.
  if (!正文.交付()) return false;
  if (代码 != CURLE_OK) return 失败(错误, 下载HTTP消息::读取正文失败);
  if (错误 != nullptr) 错误->clear();
  return true;
}

}  // namespace

Curl下载客户端::Curl下载客户端(std::size_t 交付块字节)
    : 交付块字节_(交付块字节 == 0 ? 默认交付块字节 : std::min(交付块字节, 最大交付块字节)) {}

bool Curl下载客户端::下载(const 下载请求& 请求, const 下载响应回调& 响应回调, const 下载数据回调& 数据回调,
                          std::wstring* 错误) {
  HTTP地址 地址;
  if (!检查下载请求(请求, 响应回调, 数据回调, &地址, 错误)) return false;
  if (!初始化CURL()) return 失败(错误, 下载HTTP消息::无法初始化会话);
  下载跳转状态 跳转{请求.url};
  for (;;) {
    单跳结果 结果;
    if (!执行单跳(请求, 跳转.url, 响应回调, 数据回调, 交付块字节_, &结果, 错误)) return false;
    if (!结果.跳转) return true;
    if (!跟随下载跳转(&跳转, 结果.位置, 错误)) return false;
  }
}

}  // namespace tallybell::platform
