// The rules of the download client: the checks made before any connection, the address
// rules and the reading of the length and range headers into a response head. Every
// sentence the client reports is defined here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "transport/download_transport.h"

namespace tallybell {

namespace 下载HTTP消息 {
inline constexpr wchar_t 参数或地址无效[] = L"下载请求参数或内容地址无效。";
inline constexpr wchar_t 无法解析地址[] = L"无法解析下载地址。";
inline constexpr wchar_t 无法初始化会话[] = L"无法初始化 WinHTTP 会话。";
inline constexpr wchar_t 无法连接服务器[] = L"无法连接下载服务器。";
inline constexpr wchar_t 无法创建请求[] = L"无法创建 WinHTTP 下载请求。";
inline constexpr wchar_t 请求失败[] = L"WinHTTP 下载请求失败。";
inline constexpr wchar_t 无法读取状态码[] = L"无法读取 HTTP 状态码。";
inline constexpr wchar_t 最终地址不在允许地址内[] = L"下载最终地址不在允许地址内。";
inline constexpr wchar_t ContentLength无效[] = L"Content-Length 响应头无效。";
inline constexpr wchar_t ContentRange无效[] = L"Content-Range 响应头无效。";
inline constexpr wchar_t 读取正文失败[] = L"读取 WinHTTP 响应正文失败。";
}  // namespace 下载HTTP消息

// The content address rule for the requested URL: it splits with a non-empty host and is
// HTTPS to any host and port, or plain HTTP to the designated content host (any port).
bool 下载内容地址允许(const std::wstring& 地址);

// The rule for every address a request reaches (each redirect target before it is
// requested, and the final URL): the content address rule and the download URL rule of
// the task, so that no address the task would refuse is ever contacted.
bool 下载到达地址允许(const std::wstring& 地址);

// The checks made before any connection, each refusal with its own message: both
// callbacks set, the URL split, then the content address rule. False sets *错误 (when given).
bool 检查下载请求(const 下载请求& 请求, const 下载响应回调& 响应回调, const 下载数据回调& 数据回调,
                  std::wstring* 错误);

// The Range header value asking for the bytes from 起点 to the end; sent only when 起点
// is not 0.
std::wstring 下载Range值(std::uint64_t 起点);

// A header number: optional leading white space, an optional '+', then decimal digits up
// to the end, within 64 bits. A '-' is refused: the C library's conversion would turn
// "-1" into 18446744073709551615.
bool 解析下载头数字(const std::wstring& 文本, std::uint64_t* 值);

// "bytes first-last/complete" with first <= last < complete, each a header number; a
// complete length of "*" is refused. True fills *起点 (first) and *总长 (complete).
bool 解析ContentRange(const std::wstring& 值, std::uint64_t* 起点, std::uint64_t* 总长);

// True when the Accept-Ranges value, lowered letter by letter, is exactly "bytes".
bool 接受字节范围(const std::wstring& 值);

// The raw values of the headers a download head is made of; absent ones stay empty.
struct 下载原始响应头 {
  std::optional<std::wstring> contentLength;
  std::optional<std::wstring> contentRange;
  std::optional<std::wstring> acceptRanges;
};

// Builds the head handed to the caller: the final URL must pass 下载到达地址允许, a
// Content-Length must be a header number and a Content-Range valid. False with the
// matching message and *响应 untouched otherwise.
bool 构建下载响应头(std::uint32_t 状态码, const std::wstring& 最终地址, const 下载原始响应头& 原始,
                    下载响应* 响应, std::wstring* 错误);

}  // namespace tallybell
