#include "transport/download_http_rules.h"

#include <limits>
#include <utility>

#include "common/failure.h"
#include "common/text.h"
#include "transport/download_url.h"
#include "transport/http_address.h"

namespace tallybell {
namespace {

// The white space the C library's conversions skip in the "C" locale.
bool 是空白(wchar_t 字符) { return 字符 == L' ' || (字符 >= L'\t' && 字符 <= L'\r'); }

}  // namespace

bool 下载内容地址允许(const std::wstring& 地址) {
  HTTP地址 部分;
  if (!拆分HTTP地址(地址, &部分)) return false;
  return 部分.https || 是指定内容主机(部分.host);
}

bool 下载到达地址允许(const std::wstring& 地址) { return 下载内容地址允许(地址) && 下载地址有效(地址); }

bool 检查下载请求(const 下载请求& 请求, const 下载响应回调& 响应回调, const 下载数据回调& 数据回调,
                  std::wstring* 错误) {
  HTTP地址 地址;
  if (!响应回调 || !数据回调) return 失败(错误, 下载HTTP消息::参数或地址无效);
  if (!拆分HTTP地址(请求.url, &地址)) return 失败(错误, 下载HTTP消息::无法解析地址);
  if (!下载内容地址允许(请求.url)) return 失败(错误, 下载HTTP消息::参数或地址无效);
  return true;
}

std::wstring 下载Range值(std::uint64_t 起点) { return L"bytes=" + 十进制宽(起点) + L"-"; }

bool 解析下载头数字(const std::wstring& 文本, std::uint64_t* 值) {
  std::size_t 位置 = 0;
  while (位置 < 文本.size() && 是空白(文本[位置])) ++位置;
  if (位置 < 文本.size() && 文本[位置] == L'+') ++位置;
  if (位置 == 文本.size()) return false;
  constexpr std::uint64_t 最大 = std::numeric_limits<std::uint64_t>::max();
  std::uint64_t 结果 = 0;
  for (; 位置 < 文本.size(); ++位置) {
    const wchar_t 字符 = 文本[位置];
    if (字符 < L'0' || 字符 > L'9') return false;
    const auto 数字 = static_cast<std::uint64_t>(字符 - L'0');
    if (结果 > (最大 - 数字) / 10) return false;
    结果 = 结果 * 10 + 数字;
  }
  *值 = 结果;
  return true;
}

bool 解析ContentRange(const std::wstring& 值, std::uint64_t* 起点, std::uint64_t* 总长) {
  constexpr std::size_t 前缀长 = 6;
  if (值.compare(0, 前缀长, L"bytes ") != 0) return false;
  const std::size_t 横线 = 值.find(L'-', 前缀长);
  if (横线 == std::wstring::npos) return false;
  const std::size_t 斜线 = 值.find(L'/', 横线 + 1);
  if (斜线 == std::wstring::npos || 值.find(L'*', 斜线 + 1) != std::wstring::npos) return false;
  std::uint64_t 首 = 0;
  std::uint64_t 末 = 0;
  std::uint64_t 全长 = 0;
  if (!解析下载头数字(值.substr(前缀长, 横线 - 前缀长), &首) ||
      !解析下载头数字(值.substr(横线 + 1, 斜线 - 横线 - 1), &末) || !解析下载头数字(值.substr(斜线 + 1), &全长) ||
      首 > 末 || 末 >= 全长) {
    return false;
  }
  *起点 = 首;
  *总长 = 全长;
  return true;
}

bool 接受字节范围(const std::wstring& 值) {
  std::wstring 小写 = 值;
  for (auto& 字符 : 小写) {
    if (字符 >= L'A' && 字符 <= L'Z') 字符 = static_cast<wchar_t>(字符 - L'A' + L'a');
  }
  return 小写 == L"bytes";
}

bool 构建下载响应头(std::uint32_t 状态码, const std::wstring& 最终地址, const 下载原始响应头& 原始,
                    下载响应* 响应, std::wstring* 错误) {
  if (!下载到达地址允许(最终地址)) return 失败(错误, 下载HTTP消息::最终地址不在允许地址内);
  下载响应 结果;
  结果.statusCode = 状态码;
  结果.finalUrl = 最终地址;
  if (原始.contentLength) {
    if (!解析下载头数字(*原始.contentLength, &结果.contentLength)) return 失败(错误, 下载HTTP消息::ContentLength无效);
    结果.hasContentLength = true;
  }
  if (原始.contentRange) {
    if (!解析ContentRange(*原始.contentRange, &结果.rangeStart, &结果.rangeTotal)) {
      return 失败(错误, 下载HTTP消息::ContentRange无效);
    }
    结果.hasContentRange = true;
  }
  结果.acceptsByteRanges = 原始.acceptRanges && 接受字节范围(*原始.acceptRanges);
  *响应 = std::move(结果);
  return true;
}

}  // namespace tallybell
