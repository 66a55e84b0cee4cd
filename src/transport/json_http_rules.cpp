#include "transport/json_http_rules.h"

#include <cwchar>

#include "common/failure.h"
#include "common/text.h"
#include "transport/http_address.h"

namespace tallybell {
namespace {

// The token characters of HTTP: a method with anything else (a blank, CR, LF) would
// change the request line.
bool 是令牌字符(wchar_t 字符) {
  if ((字符 >= L'a' && 字符 <= L'z') || (字符 >= L'A' && 字符 <= L'Z') || (字符 >= L'0' && 字符 <= L'9')) {
    return true;
  }
  return 字符 != L'\0' && std::wcschr(L"!#$%&'*+-.^_`|~", 字符) != nullptr;
}

bool 是令牌(const std::wstring& 文本) {
  if (文本.empty()) return false;
  for (const wchar_t 字符 : 文本) {
    if (!是令牌字符(字符)) return false;
  }
  return true;
}

// Non-empty, no CR, LF or NUL (the header block is a text of lines, and a NUL would cut a
// value short), and valid text for the UTF-8 form libcurl sends.
bool 请求头文本有效(const std::wstring& 文本) {
  if (文本.empty() || 文本.find_first_of(std::wstring(L"\r\n\0", 3)) != std::wstring::npos) return false;
  std::string 字节;
  return 宽转UTF8(文本, &字节);
}

}  // namespace

bool JsonHttp地址允许(const std::wstring& 地址, bool 允许内容主机) {
  HTTP地址 部分;
  if (!拆分HTTP地址(地址, &部分)) return false;
  if (部分.https) return true;
  return 允许内容主机 && 是指定内容主机(部分.host);
}

bool 检查JsonHttp请求(const JsonHttp请求& 请求, const JsonHttp响应* 响应, std::wstring* 错误) {
  if (响应 == nullptr || !是令牌(请求.method) || 请求.body.size() > JsonHttp最大请求正文 || 请求.maxResponseBytes == 0) {
    return 失败(错误, JsonHttp消息::请求参数无效);
  }
  HTTP地址 地址;
  if (!拆分HTTP地址(请求.url, &地址)) return 失败(错误, JsonHttp消息::无法解析地址);
  if (!JsonHttp地址允许(请求.url, 请求.allowContentHost)) {
    return 失败(错误, 请求.allowContentHost ? JsonHttp消息::地址不在允许内容地址内 : JsonHttp消息::地址必须使用HTTPS);
  }
  for (const auto& [名称, 值] : 请求.headers) {
    if (!请求头文本有效(名称) || !请求头文本有效(值)) return 失败(错误, JsonHttp消息::请求头包含无效字符);
  }
  if (错误 != nullptr) 错误->clear();
  return true;
}

bool JsonHttp正文缓冲::追加(const char* 数据, std::size_t 长度, std::wstring* 错误) {
  if (长度 > 上限_ || 长度 > 上限_ - 内容_.size()) return 失败(错误, JsonHttp消息::响应超过大小上限);
  内容_.append(数据, 长度);
  return true;
}

}  // namespace tallybell
