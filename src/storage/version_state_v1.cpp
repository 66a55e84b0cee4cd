#include "storage/version_state_v1.h"

#include <cstring>
#include <utility>

#include "common/text.h"

namespace tallybell {
namespace {

bool 是修剪字符(wchar_t 字符) { return 字符 == L' ' || 字符 == L'\t' || 字符 == L'\r'; }
bool 是修剪字节(char 字节) { return 字节 == ' ' || 字节 == '\t' || 字节 == '\r'; }

template <typename 字符串>
字符串 修剪(const 字符串& 文本, bool (*可修剪)(typename 字符串::value_type)) {
  std::size_t 起 = 0;
  std::size_t 止 = 文本.size();
  while (起 < 止 && 可修剪(文本[起])) ++起;
  while (止 > 起 && 可修剪(文本[止 - 1])) --止;
  return 文本.substr(起, 止 - 起);
}

// Appends every non-empty comma-separated item, trimmed.
void 追加列表项(const std::wstring& 值, std::vector<std::wstring>* 列表) {
  std::size_t 起 = 0;
  while (true) {
    const std::size_t 逗号 = 值.find(L',', 起);
    const std::size_t 止 = 逗号 == std::wstring::npos ? 值.size() : 逗号;
    std::wstring 项 = 修剪(值.substr(起, 止 - 起), 是修剪字符);
    if (!项.empty()) 列表->push_back(std::move(项));
    if (逗号 == std::wstring::npos) break;
    起 = 逗号 + 1;
  }
}

// Applies one "key=value" line; false when the value is not valid UTF-8, whatever the key.
bool 应用行(const std::string& 行, 本地版本状态* 状态) {
  const std::size_t 等号 = 行.find('=');
  if (等号 == std::string::npos) return true;
  const std::string 键 = 修剪(行.substr(0, 等号), 是修剪字节);
  std::wstring 值;
  if (!UTF8转宽(修剪(行.substr(等号 + 1), 是修剪字节), &值)) return false;

  if (键 == "activeRelease") {
    状态->activeRelease = std::move(值);
  } else if (键 == "lastGoodRelease") {
    状态->lastGoodRelease = std::move(值);
  } else if (键 == "pendingRelease") {
    状态->pendingRelease = std::move(值);
  } else if (键 == "attemptingRelease") {
    状态->attemptingRelease = std::move(值);
  } else if (键 == "rescueRelease") {
    状态->rescueRelease = std::move(值);
  } else if (键 == "legacyInstallPath") {
    状态->legacyInstallPath = std::move(值);
  } else if (键 == "confirmedHistory") {
    追加列表项(值, &状态->confirmedHistory);
  } else if (键 == "quarantined") {
    追加列表项(值, &状态->quarantined);
  }
  return true;
}

}  // namespace

bool 是版本1文本(const std::string& 文本) {
  const std::size_t 前缀长度 = std::strlen(版本1前缀);
  return 文本.size() >= 前缀长度 && 文本.compare(0, 前缀长度, 版本1前缀) == 0;
}

bool 解析版本1本地版本状态(const std::string& 文本, 本地版本状态* 输出) {
  if (输出 == nullptr) return false;
  本地版本状态 状态;
  std::size_t 起 = 0;
  while (起 <= 文本.size()) {
    const std::size_t 换行 = 文本.find('\n', 起);
    const std::size_t 止 = 换行 == std::string::npos ? 文本.size() : 换行;
    if (!应用行(文本.substr(起, 止 - 起), &状态)) return false;
    if (换行 == std::string::npos) break;
    起 = 换行 + 1;
  }
  *输出 = std::move(状态);
  return true;
}

}  // namespace tallybell
