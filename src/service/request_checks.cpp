#include "service/request_checks.h"

#include <cctype>
#include <limits>

#include "coordinator/installation_identity.h"
#include "documents/json_value.h"
#include "results/result_queue.h"

namespace tallybell::服务 {
namespace {

bool 读字符串(const Json值& 根, const char* 名称, std::string* 输出, std::string* 原因) {
  const Json值* 值 = 根.查找成员(名称);
  if (!值 || !值->是字符串()) {
    *原因 = std::string("member ") + 名称 + " missing or not a string";
    return false;
  }
  *输出 = 值->文本();
  return true;
}

bool 读整数(const Json值& 根, const char* 名称, std::uint64_t 上限, std::uint64_t* 输出, std::string* 原因) {
  if (!读取非负整数(根.查找成员(名称), 输出) || *输出 > 上限) {
    *原因 = std::string("member ") + 名称 + " missing or not a fitting integer";
    return false;
  }
  return true;
}

bool 读对象(const std::string& 正文, Json值* 根, std::string* 原因) {
  std::wstring 错误;
  if (!Json值::解析(正文, 根, &错误)) {
    *原因 = "malformed JSON";
    return false;
  }
  if (!根->是对象()) {
    *原因 = "the document is not a JSON object";
    return false;
  }
  return true;
}

}  // namespace

bool 检查解析请求(const std::string& 正文, 解析请求* 请求, std::string* 原因) {
  Json值 根;
  if (!读对象(正文, &根, 原因)) return false;
  解析请求 结果;
  std::string 忽略;
  if (!读字符串(根, "currentReleaseId", &结果.currentReleaseId, 原因) ||
      !读字符串(根, "installationId", &结果.installationId, 原因) ||
      !读字符串(根, "lastGoodReleaseId", &结果.lastGoodReleaseId, 原因) ||
      !读字符串(根, "launcherVersion", &忽略, 原因) || !读字符串(根, "os", &忽略, 原因) ||
      !读字符串(根, "productId", &结果.productId, 原因) || !读字符串(根, "updateCoreVersion", &忽略, 原因) ||
      !读字符串(根, "userId", &忽略, 原因)) {
    return false;
  }
  if (!设备安装标识有效(结果.installationId)) {
    *原因 = "installationId is not a valid installation identity";
    return false;
  }
  if (结果.productId.empty()) {
    *原因 = "productId is empty";
    return false;
  }
  const Json值* 隔离 = 根.查找成员("quarantinedReleaseIds");
  if (!隔离 || !隔离->是数组()) {
    *原因 = "member quarantinedReleaseIds missing or not an array";
    return false;
  }
  for (const auto& 元素 : 隔离->元素()) {
    if (!元素.是字符串()) {
      *原因 = "quarantinedReleaseIds holds a value that is not a string";
      return false;
    }
    结果.quarantinedReleaseIds.push_back(元素.文本());
  }
  *请求 = std::move(结果);
  return true;
}

bool 幂等键有效(const std::string& 键) {
  if (键.empty() || 键.size() > 64 || 键 == "." || 键 == "..") return false;
  for (const unsigned char c : 键) {
    if (!std::isalnum(c) && c != '-' && c != '.' && c != '_') return false;
  }
  return true;
}

bool 检查结果事件(const std::string& 正文, const std::string& 幂等键, 结果记录* 事件, std::string* 原因) {
  Json值 根;
  if (!读对象(正文, &根, 原因)) return false;
  结果事件 e;
  std::uint64_t 错误码 = 0;
  if (!读字符串(根, "assignmentId", &e.assignmentId, 原因) ||
      !读整数(根, "errorCode", std::numeric_limits<std::uint32_t>::max(), &错误码, 原因) ||
      !读字符串(根, "eventId", &e.eventId, 原因) || !读字符串(根, "failureStage", &e.failureStage, 原因) ||
      !读字符串(根, "finalReleaseId", &e.finalReleaseId, 原因) ||
      !读字符串(根, "installationId", &e.installationId, 原因) || !读字符串(根, "occurredAt", &e.occurredAt, 原因) ||
      !读字符串(根, "originalReleaseId", &e.originalReleaseId, 原因) ||
      !读整数(根, "policyVersion", std::numeric_limits<std::uint64_t>::max(), &e.policyVersion, 原因) ||
      !读字符串(根, "result", &e.result, 原因) || !读字符串(根, "targetReleaseId", &e.targetReleaseId, 原因) ||
      !读字符串(根, "taskId", &e.taskId, 原因)) {
    return false;
  }
  e.errorCode = static_cast<std::uint32_t>(错误码);
  if (!结果事件有效(e)) {
    *原因 = "a member breaks the event limits";
    return false;
  }
  if (e.eventId != 幂等键) {
    *原因 = "Idempotency-Key differs from eventId";
    return false;
  }
  *事件 = {e.eventId, e.installationId, e.assignmentId, e.originalReleaseId, e.targetReleaseId, e.finalReleaseId,
           e.result, e.failureStage, e.taskId, e.occurredAt, e.policyVersion, e.errorCode, 0};
  return true;
}

}  // namespace tallybell::服务
