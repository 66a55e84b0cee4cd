#include "documents/policy.h"

#include <algorithm>
#include <cstddef>
#include <utility>

#include "common/failure.h"
#include "common/text.h"
#include "documents/json_value.h"
#include "documents/sha256.h"
#include "documents/manifest.h"

namespace tallybell {
namespace {

constexpr std::size_t 发布标识最大字节 = 128;
constexpr std::size_t 最多回报地址 = 3;

bool 目标发布标识有效(const std::string& 标识) {
  if (标识.empty() || 标识.size() > 发布标识最大字节) return false;
  for (const char 字符 : 标识) {
    const auto 字节 = static_cast<unsigned char>(字符);
    const bool 字母或数字 =
        (字节 >= 'a' && 字节 <= 'z') || (字节 >= 'A' && 字节 <= 'Z') || (字节 >= '0' && 字节 <= '9');
    if (!字母或数字 && 字节 != '-' && 字节 != '.' && 字节 != '_') return false;
  }
  return true;
}

// Only the fixed positions of "YYYY-MM-DDTHH:MM:SS" and the zone are looked at; what the
// time means is decided where it is used.
bool 有带时区的时间形状(const std::string& 文本) {
  const std::size_t n = 文本.size();
  if (n < 20) return false;
  if (文本[4] != '-' || 文本[7] != '-' || (文本[10] != 'T' && 文本[10] != 't') || 文本[13] != ':' ||
      文本[16] != ':') {
    return false;
  }
  if (文本[n - 1] == 'Z' || 文本[n - 1] == 'z') return true;
  return n >= 25 && (文本[n - 6] == '+' || 文本[n - 6] == '-') && 文本[n - 3] == ':';
}

std::wstring 清单地址消息() {
  return L"manifestUrl 必须使用 HTTPS 或 http://" + UTF8转宽宽松(TALLYBELL_CONTENT_HOST) + L"。";
}

// The string members in the order they are checked; the first missing one is reported.
struct 字符串字段 {
  std::string assignmentId;
  std::string action;
  std::string targetReleaseId;
  std::string manifestUrl;
  std::string manifestHash;
  std::string checkAfter;
};

bool 读取字符串字段(const Json值& 根, 字符串字段* 字段, std::wstring* 错误) {
  return 读取非空字符串字段(根, "assignmentId", &字段->assignmentId, 错误) &&
         读取非空字符串字段(根, "action", &字段->action, 错误) &&
         读取非空字符串字段(根, "targetReleaseId", &字段->targetReleaseId, 错误) &&
         读取非空字符串字段(根, "manifestUrl", &字段->manifestUrl, 错误) &&
         读取非空字符串字段(根, "manifestHash", &字段->manifestHash, 错误) &&
         读取非空字符串字段(根, "checkAfter", &字段->checkAfter, 错误);
}

bool 检查字符串字段(const 字符串字段& 字段, std::wstring* 错误) {
  if (!分配标识有效(字段.assignmentId)) {
    return 失败(错误, L"assignmentId 必须是 1 至 256 字节且不含 NUL、CR 或 LF。");
  }
  if (字段.action != 策略动作文本(策略动作::update)) {
    return 失败(错误, L"action 不是当前客户端支持的动作。");
  }
  if (!目标发布标识有效(字段.targetReleaseId)) return 失败(错误, L"targetReleaseId 格式无效。");
  if (!是HTTPS地址(字段.manifestUrl, 地址形式::服务) && !是内容主机地址(字段.manifestUrl)) {
    return 失败(错误, 清单地址消息());
  }
  if (!是小写SHA256文本(字段.manifestHash)) {
    return 失败(错误, L"manifestHash 必须是 64 位小写十六进制。");
  }
  if (!有带时区的时间形状(字段.checkAfter)) {
    return 失败(错误, L"checkAfter 必须是带时区的 ISO 8601 时间。");
  }
  return true;
}

// Absent: an empty list. Present (a null included): 1 to 3 service-form HTTPS URLs, each
// different byte for byte from every earlier one.
bool 读取回报地址(const Json值& 根, std::vector<std::string>* 输出, std::wstring* 错误) {
  const Json值* 数组 = 根.查找成员("resultReportUrls");
  if (数组 == nullptr) {
    输出->clear();
    return true;
  }
  if (!数组->是数组() || 数组->元素().empty() || 数组->元素().size() > 最多回报地址) {
    return 失败(错误, L"resultReportUrls 必须包含一至三个 HTTPS 地址。");
  }
  std::vector<std::string> 地址表;
  for (const Json值& 元素 : 数组->元素()) {
    if (!元素.是字符串() || !是HTTPS地址(元素.文本(), 地址形式::服务) ||
        std::find(地址表.begin(), 地址表.end(), 元素.文本()) != 地址表.end()) {
      return 失败(错误, L"resultReportUrls 包含无效或重复地址。");
    }
    地址表.push_back(元素.文本());
  }
  *输出 = std::move(地址表);
  return true;
}

void 追加值(const std::string& 值, std::string* 文本) {
  *文本 += 十进制(值.size());
  *文本 += ':';
  *文本 += 值;
  *文本 += ';';
}

}  // namespace

bool 分配标识有效(const std::string& 标识) {
  return !标识.empty() && 标识.size() <= 256 && 标识.find_first_of(std::string("\0\r\n", 3)) == std::string::npos;
}

const char* 策略动作文本(策略动作 动作) {
  switch (动作) {
    case 策略动作::update:
      return "update";
  }
  return "";
}

bool 解析版本策略(const std::string& 文本, 版本策略* 输出, std::wstring* 错误) {
  if (输出 == nullptr) return 失败(错误, L"版本策略输出参数不能为空。");
  Json值 根;
  if (!Json值::解析(文本, &根, 错误)) return false;
  if (!根.是对象()) return 失败(错误, L"版本策略根必须是对象。");
  std::uint64_t 版本 = 0;
  if (!读取非负整数(根.查找成员("policyVersion"), &版本) || 版本 == 0) {
    return 失败(错误, L"policyVersion 必须是大于零的整数。");
  }
  字符串字段 字段;
  if (!读取字符串字段(根, &字段, 错误) || !检查字符串字段(字段, 错误)) return false;
  std::vector<std::string> 回报地址;
  if (!读取回报地址(根, &回报地址, 错误)) return false;

  输出->policyVersion = 版本;
  输出->assignmentId = std::move(字段.assignmentId);
  输出->action = 策略动作::update;
  输出->targetReleaseId = std::move(字段.targetReleaseId);
  输出->manifestUrl = std::move(字段.manifestUrl);
  输出->manifestHash = std::move(字段.manifestHash);
  输出->checkAfter = std::move(字段.checkAfter);
  输出->resultReportUrls = std::move(回报地址);
  const Json值* 签名 = 根.查找成员("manifestSignature");
  输出->manifestSignature = 签名 != nullptr && 签名->是字符串() ? 签名->文本() : std::string();
  if (错误 != nullptr) 错误->clear();
  return true;
}

std::string 策略内容标识(const 版本策略& 策略) {
  std::string 文本 = 十进制(策略.policyVersion) + ";";
  追加值(策略.assignmentId, &文本);
  追加值(策略动作文本(策略.action), &文本);
  追加值(策略.targetReleaseId, &文本);
  追加值(策略.manifestUrl, &文本);
  追加值(策略.manifestHash, &文本);
  追加值(策略.checkAfter, &文本);
  for (const std::string& 地址 : 策略.resultReportUrls) 追加值(地址, &文本);
  return 文本;
}

}  // namespace tallybell
