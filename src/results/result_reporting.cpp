#include "results/result_reporting.h"

#include <algorithm>

#include <nlohmann/json.hpp>

#include "common/codes.h"
#include "common/text.h"
#include "platform/file_system.h"
#include "results/result_queue.h"
#include "storage/files.h"
#include "storage/paths.h"

namespace tallybell {
namespace {

using platform::文件调用;

bool 以HTTPS开头(const std::wstring& 地址) {
  static constexpr wchar_t 前缀[] = L"https://";
  for (std::size_t i = 0; i < 8; ++i) {
    wchar_t 字符 = 地址[i];
    if (字符 >= L'A' && 字符 <= L'Z') 字符 = static_cast<wchar_t>(字符 - L'A' + L'a');
    if (字符 != 前缀[i]) return false;
  }
  return true;
}

bool 地址可用(const std::wstring& 地址) {
  return 地址.size() >= 9 && 以HTTPS开头(地址) && 地址.find_first_of(L"\r\n\t ") == std::wstring::npos;
}

bool 是JSON文件名(const std::wstring& 名称) {
  if (名称.size() < 5) return false;
  std::wstring 结尾 = 名称.substr(名称.size() - 5);
  for (auto& 字符 : 结尾) {
    if (字符 >= L'A' && 字符 <= L'Z') 字符 = static_cast<wchar_t>(字符 - L'A' + L'a');
  }
  return 结尾 == L".json";
}

// Ordinal order of UTF-16 code units, whatever the width of wchar_t.
bool UTF16序在前(const std::wstring& 甲, const std::wstring& 乙) {
  const auto 单元 = [](const std::wstring& 文本) {
    std::u16string 结果;
    for (wchar_t 字符 : 文本) {
      const auto 码点 = static_cast<std::uint32_t>(字符);
      if (码点 >= 0x10000 && 码点 <= 0x10FFFF) {
        结果.push_back(static_cast<char16_t>(0xD800 + ((码点 - 0x10000) >> 10)));
        结果.push_back(static_cast<char16_t>(0xDC00 + ((码点 - 0x10000) & 0x3FF)));
      } else {
        结果.push_back(static_cast<char16_t>(码点));
      }
    }
    return 结果;
  };
  return 单元(甲) < 单元(乙);
}

// The queued documents into *文件. A link is never a queue folder nor a queue entry: what
// it points to lies outside the state root and is neither sent nor removed, so such a
// queue is empty. False only for a queue folder that is there but cannot be listed: its
// events are not known to be delivered.
bool 列出队列(const std::wstring& 队列目录, std::vector<std::wstring>* 文件) {
  文件->clear();
  std::vector<platform::目录项> 条目;
  if (!是真实目录(父目录(队列目录)) || !是真实目录(队列目录)) return true;
  if (!文件调用().枚举目录(队列目录, &条目)) return false;
  for (const auto& 项 : 条目) {
    if (!项.是目录 && !项.是链接 && 是JSON文件名(项.名称)) 文件->push_back(连接路径(队列目录, 项.名称));
  }
  std::sort(文件->begin(), 文件->end(), UTF16序在前);
  return true;
}

// The event id of a queued document, read with the plain parser: a malformed document
// is still deliverable as long as it is JSON with a string eventId.
bool 读取事件标识(const std::string& 文档, std::string* 标识) {
  const auto 值 = nlohmann::json::parse(文档, nullptr, false);
  if (!值.is_object()) return false;
  const auto 成员 = 值.find("eventId");
  if (成员 == 值.end() || !成员->is_string()) return false;
  *标识 = 成员->get<std::string>();
  return true;
}

bool 投递(JsonHttp传输* 传输, const std::wstring& 地址, const std::string& 标识, const std::string& 文档) {
  const JsonHttp请求 请求 = 服务JSON投递请求(地址, 文档, {L"Idempotency-Key", 逐字节加宽(标识)});
  JsonHttp响应 响应;
  return 传输->发送(请求, &响应, nullptr) && 响应.statusCode >= 200 && 响应.statusCode <= 299;
}

// The queue file is gone ("not found"), as opposed to present but unreadable or not
// removable. Only another delivery pass removes queued files.
bool 已被移走(const std::wstring& 文件) { return 确认不存在(文件); }

}  // namespace

std::uint32_t 回报更新结果(const std::wstring& stateRoot, const std::vector<std::wstring>& resultUrls,
                           JsonHttp传输* transport, 结果回报计数* counts, std::wstring* error) {
  const bool 参数有效 = !stateRoot.empty() && !resultUrls.empty() && transport != nullptr && counts != nullptr &&
                        std::all_of(resultUrls.begin(), resultUrls.end(), 地址可用);
  if (!参数有效) {
    if (error != nullptr) *error = L"更新结果回报参数无效。";
    return 参数无效;
  }
  *counts = 结果回报计数{};
  const std::wstring 队列目录 = 结果队列目录(stateRoot);
  std::vector<std::wstring> 队列;
  bool 完整 = 列出队列(队列目录, &队列);
  for (const auto& 文件 : 队列) {
    std::string 文档, 标识;
    // Looked at again just before the read: an entry swapped for a link since the listing
    // is skipped like one listed as a link.
    if (!是真实文件(文件)) {
      if (!已被移走(文件)) 完整 = false;
      continue;
    }
    if (!读取整个文件(文件, &文档)) {
      // A pass running at the same time delivered it and removed it since the listing.
      if (!已被移走(文件)) 完整 = false;
      continue;
    }
    if (!读取事件标识(文档, &标识)) {
      完整 = false;
      continue;
    }
    const bool 已送达 = std::any_of(resultUrls.begin(), resultUrls.end(),
                                    [&](const std::wstring& 地址) { return 投递(transport, 地址, 标识, 文档); });
    if (已送达 && 文件调用().删除文件(文件)) {
      ++counts->sent;
    } else if (!已送达 || !已被移走(文件)) {
      完整 = false;
    }
  }
  if (!列出队列(队列目录, &队列)) 完整 = false;
  counts->pending = 队列.size();
  if (!完整) {
    if (error != nullptr) *error = L"部分更新结果尚未回报，已保留在本地队列。";
    return 结果事件仍排队;
  }
  if (error != nullptr) error->clear();
  return 成功;
}

}  // namespace tallybell
