// The platform-independent half of the JSON HTTP clients: the checks made before any
// connection, the address rule applied to every URL a request reaches, the redirect steps
// the clients follow themselves and the size-capped response body. Every sentence the
// clients report is defined here, so both platforms fail with the same words.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "transport/json_http_transport.h"

namespace tallybell {

namespace JsonHttp消息 {
inline constexpr wchar_t 请求参数无效[] = L"JSON HTTP 请求参数无效。";
inline constexpr wchar_t 地址不在允许内容地址内[] = L"JSON HTTP 地址不在允许内容地址内。";
inline constexpr wchar_t 地址必须使用HTTPS[] = L"JSON HTTP 地址必须使用 HTTPS。";
inline constexpr wchar_t 无法解析地址[] = L"无法解析 JSON HTTP 地址。";
inline constexpr wchar_t 请求头包含无效字符[] = L"JSON HTTP 请求头包含无效字符。";
inline constexpr wchar_t 无法初始化会话[] = L"无法初始化 JSON WinHTTP 会话。";
inline constexpr wchar_t 无法连接服务器[] = L"无法连接 JSON HTTP 服务器。";
inline constexpr wchar_t 无法创建请求[] = L"无法创建 JSON HTTP 请求。";
inline constexpr wchar_t 请求失败[] = L"JSON WinHTTP 请求失败。";
inline constexpr wchar_t 无法读取状态码[] = L"无法读取 JSON HTTP 状态码。";
inline constexpr wchar_t 最终地址不在允许地址内[] = L"JSON HTTP 最终地址不在允许地址内。";
inline constexpr wchar_t 响应超过大小上限[] = L"JSON HTTP 响应超过大小上限。";
inline constexpr wchar_t 读取响应失败[] = L"读取 JSON HTTP 响应失败。";
}  // namespace JsonHttp消息

// Largest request body: the Windows call takes a 32-bit length.
inline constexpr std::uint64_t JsonHttp最大请求正文 = 4294967295u;

// The address rule: the URL splits with a non-empty host, and is HTTPS, or (only when
// 允许内容主机) plain HTTP to the designated content host; the port is not checked.
bool JsonHttp地址允许(const std::wstring& 地址, bool 允许内容主机);

// The checks made before any connection, in this order: parameters (响应 given, method an
// HTTP token, body at most 4294967295 bytes, maxResponseBytes not 0), the URL split, the
// address rule, then every header (name and value non-empty, without CR, LF or NUL, and
// valid text). Each refusal has its own message in *错误 (when given).
bool 检查JsonHttp请求(const JsonHttp请求& 请求, const JsonHttp响应* 响应, std::wstring* 错误);

// The response body as it streams in; never holds more than its cap.
class JsonHttp正文缓冲 {
 public:
  explicit JsonHttp正文缓冲(std::uint64_t 上限) : 上限_(上限) {}

  // Appends one piece unless it is larger than the cap or would take the body past it;
  // then false with the size message, and the body keeps what it had.
  bool 追加(const char* 数据, std::size_t 长度, std::wstring* 错误);
  std::string 取出() { return std::move(内容_); }
  std::uint64_t 长度() const { return 内容_.size(); }

 private:
  std::uint64_t 上限_;
  std::string 内容_;
};

}  // namespace tallybell
