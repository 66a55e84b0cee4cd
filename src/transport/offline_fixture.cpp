#include "transport/offline_fixture.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "common/failure.h"
#include "documents/sha256.h"
#include "platform/file_system.h"
#include "storage/files.h"
#include "storage/paths.h"
#include "storage/release_id.h"

namespace tallybell {
namespace {

using platform::文件调用;

constexpr std::size_t 对象块字节 = 65536;

const wchar_t* const 参数无效消息 = L"离线更新夹具参数无效。";
const wchar_t* const 路由消息 = L"离线更新夹具不支持该 HTTP 路由。";
const wchar_t* const 结果写入消息 = L"无法写入离线结果回报夹具。";
const wchar_t* const 清单地址消息 = L"离线发布清单地址无效。";
const wchar_t* const JSON读取消息 = L"无法读取离线更新 JSON 夹具。";
const wchar_t* const JSON上限消息 = L"离线更新 JSON 夹具超过大小上限。";
const wchar_t* const 对象请求消息 = L"离线对象请求无效。";
const wchar_t* const 对象不存在消息 = L"离线对象夹具不存在。";
const wchar_t* const 对象断点消息 = L"离线对象夹具大小或断点无效。";
const wchar_t* const 对象读取消息 = L"读取离线对象夹具失败。";

bool 方法等于(const std::wstring& 方法, const std::wstring& 期望) {
  if (方法.size() != 期望.size()) return false;
  for (std::size_t i = 0; i < 方法.size(); ++i) {
    wchar_t 字符 = 方法[i];
    if (字符 >= L'a' && 字符 <= L'z') 字符 = static_cast<wchar_t>(字符 - L'a' + L'A');
    if (字符 != 期望[i]) return false;
  }
  return true;
}

// The recorded results, or an empty text when the file does not exist. False when it
// exists but cannot be read whole, or when the query cannot tell: the caller must then
// leave the file alone rather than replace its lines by the new one.
bool 读取已有结果(const std::wstring& 路径, std::string* 内容) {
  if (确认不存在(路径)) {
    内容->clear();
    return true;
  }
  return 读取整个文件(路径, 内容);
}

bool 回报结果(const std::wstring& 夹具目录, const JsonHttp请求& 请求, JsonHttp响应* 响应,
              std::wstring* 错误) {
  const std::wstring 目标 = 连接路径(夹具目录, L"reported-results.ndjson");
  std::string 内容;
  if (!读取已有结果(目标, &内容)) return 失败(错误, 结果写入消息);
  内容 += 请求.body;
  内容 += '\n';
  if (!原子写入文件(目标, 内容, 目标 + L".bak")) return 失败(错误, 结果写入消息);
  响应->statusCode = 204;
  响应->finalUrl = 请求.url;
  响应->body.clear();
  return 清空并成功(错误);
}

// The fallback file of a route whose first file could not be read; empty with a message
// when the manifest URL names no release.
std::wstring 备用夹具路径(const std::wstring& 夹具目录, 离线路由 路由, const std::wstring& 地址,
                         std::wstring* 错误) {
  if (路由 == 离线路由::解析) return 连接路径(夹具目录, L"default-policy.json");
  std::wstring 标识;
  if (!取清单地址发布标识(地址, &标识)) {
    失败(错误, 清单地址消息);
    return {};
  }
  return 连接路径(发布目录(夹具目录, 标识), L"manifest.json");
}

bool 回答JSON夹具(const std::wstring& 夹具目录, 离线路由 路由, const JsonHttp请求& 请求,
                  JsonHttp响应* 响应, std::wstring* 错误) {
  const wchar_t* const 首选 = 路由 == 离线路由::解析 ? L"policy.json" : L"manifest.json";
  std::string 内容;
  if (!读取整个文件(连接路径(夹具目录, 首选), &内容)) {
    const std::wstring 备用 = 备用夹具路径(夹具目录, 路由, 请求.url, 错误);
    if (备用.empty()) return false;
    if (!读取整个文件(备用, &内容)) return 失败(错误, JSON读取消息);
  }
  if (内容.size() > 请求.maxResponseBytes) return 失败(错误, JSON上限消息);
  响应->statusCode = 200;
  响应->finalUrl = 请求.url;
  响应->body = std::move(内容);
  return 清空并成功(错误);
}

// An object file that is a link is treated as missing: its bytes would pass through the
// cache's partial file, which other local users can read, before the hash check throws
// them away, so a link in a fixture could expose any file this process may read.
bool 打开对象文件(const std::wstring& 路径, platform::文件* 对象) {
  platform::文件信息 信息;
  if (文件调用().查询(路径, &信息) && 信息.是链接) return false;
  return 对象->打开(路径, platform::打开模式::顺序读取已有);
}

bool 打开对象(const std::wstring& 夹具目录, const std::wstring& 哈希, platform::文件* 对象) {
  const std::wstring 对象目录 = 连接路径(夹具目录, L"objects");
  const std::wstring 文件名 = 哈希 + L".object";
  return 打开对象文件(连接路径(对象目录, 文件名), 对象) ||
         打开对象文件(连接路径(连接路径(对象目录, L"sha256"), 文件名), 对象);
}

// The head a range-capable server gives: 200 for the whole object, 206 with the content
// range for a resumed one.
下载响应 构造响应头(const 下载请求& 请求, std::uint64_t 大小) {
  下载响应 头;
  const bool 续传 = 请求.rangeStart > 0;
  头.statusCode = 续传 ? 206 : 200;
  头.finalUrl = 请求.url;
  头.hasContentLength = true;
  头.contentLength = 大小 - 请求.rangeStart;
  头.hasContentRange = 续传;
  头.rangeStart = 续传 ? 请求.rangeStart : 0;
  头.rangeTotal = 续传 ? 大小 : 0;
  头.acceptsByteRanges = 续传;
  return 头;
}

// Memory use does not depend on the object size: one 64 KiB buffer, refilled in turn.
bool 传送对象内容(const platform::文件& 对象, const 下载数据回调& 数据回调, std::wstring* 错误) {
  std::vector<unsigned char> 缓冲(对象块字节);
  for (;;) {
    std::size_t 已读 = 0;
    if (!文件调用().读取(对象.get(), 缓冲.data(), 缓冲.size(), &已读)) {
      return 失败(错误, 对象读取消息);
    }
    if (已读 == 0) return 清空并成功(错误);
    // The body callback's own words are replaced: for the caller it is a failed read.
    if (!数据回调(缓冲.data(), 已读, 错误)) return 失败(错误, 对象读取消息);
  }
}

}  // namespace

bool 取地址路径(const std::wstring& 地址, std::wstring* 路径) {
  const std::size_t 协议尾 = 地址.find(L"://");
  if (协议尾 == std::wstring::npos) return false;
  const std::size_t 起点 = 地址.find(L'/', 协议尾 + 3);
  if (起点 == std::wstring::npos) return false;
  const std::size_t 终点 = 地址.find_first_of(L"?#", 起点);
  *路径 = 地址.substr(起点, 终点 == std::wstring::npos ? std::wstring::npos : 终点 - 起点);
  return true;
}

离线路由 选择离线路由(const std::wstring& 方法, const std::wstring& 地址) {
  if (方法等于(方法, L"GET")) return 离线路由::清单;
  if (!方法等于(方法, L"POST")) return 离线路由::拒绝;
  std::wstring 路径;
  if (!取地址路径(地址, &路径)) return 离线路由::拒绝;
  if (路径 == L"/update/v1/resolve") return 离线路由::解析;
  if (路径 == L"/update/v1/results") return 离线路由::结果;
  return 离线路由::拒绝;
}

bool 取清单地址发布标识(const std::wstring& 地址, std::wstring* 标识) {
  const std::wstring 标记 = L"/releases/";
  const std::size_t 位置 = 地址.find(标记);
  if (位置 == std::wstring::npos) return false;
  const std::size_t 起点 = 位置 + 标记.size();
  const std::size_t 终点 = 地址.find(L'/', 起点);
  if (终点 == std::wstring::npos || 地址.compare(终点, std::wstring::npos, L"/manifest.json") != 0) {
    return false;
  }
  // The identifier becomes a directory name below releases, so "." and ".." must not pass.
  const std::wstring 候选 = 地址.substr(起点, 终点 - 起点);
  if (!发布标识有效(候选)) return false;
  *标识 = 候选;
  return true;
}

bool 取下载地址对象哈希(const std::wstring& 地址, std::wstring* 哈希) {
  const std::wstring 无查询 = 地址.substr(0, 地址.find_first_of(L"?#"));
  const std::size_t 末斜杠 = 无查询.rfind(L'/');
  if (末斜杠 == std::wstring::npos) return false;
  std::wstring 段 = 无查询.substr(末斜杠 + 1);
  const std::wstring 后缀 = L".object";
  if (段.size() > 后缀.size() && 段.compare(段.size() - 后缀.size(), 后缀.size(), 后缀) == 0) {
    段.resize(段.size() - 后缀.size());
  }
  if (!是小写SHA256文本(段)) return false;
  *哈希 = 段;
  return true;
}

bool 离线更新夹具传输::发送(const JsonHttp请求& 请求, JsonHttp响应* 响应, std::wstring* 错误) {
  if (响应 == nullptr || fixtureDir.empty()) return 失败(错误, 参数无效消息);
  const 离线路由 路由 = 选择离线路由(请求.method, 请求.url);
  switch (路由) {
    case 离线路由::拒绝:
      return 失败(错误, 路由消息);
    case 离线路由::结果:
      return 回报结果(fixtureDir, 请求, 响应, 错误);
    case 离线路由::解析:
    case 离线路由::清单:
      return 回答JSON夹具(fixtureDir, 路由, 请求, 响应, 错误);
  }
  return 失败(错误, 路由消息);
}

bool 离线更新夹具传输::下载(const 下载请求& 请求, const 下载响应回调& 响应回调,
                            const 下载数据回调& 数据回调, std::wstring* 错误) {
  std::wstring 哈希;
  if (!取下载地址对象哈希(请求.url, &哈希) || !响应回调 || !数据回调) {
    return 失败(错误, 对象请求消息);
  }
  platform::文件 对象;
  if (!打开对象(fixtureDir, 哈希, &对象)) return 失败(错误, 对象不存在消息);
  std::uint64_t 大小 = 0;
  if (!文件调用().取大小(对象.get(), &大小) || 请求.rangeStart > 大小 ||
      !文件调用().定位(对象.get(), 请求.rangeStart)) {
    return 失败(错误, 对象断点消息);
  }
  // A refusing head callback keeps the message it wrote.
  if (!响应回调(构造响应头(请求, 大小), 错误)) return false;
  return 传送对象内容(对象, 数据回调, 错误);
}

}  // namespace tallybell
