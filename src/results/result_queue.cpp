#include "results/result_queue.h"

#include <nlohmann/json.hpp>

#include "common/guid_text.h"
#include "common/text.h"
#include "common/time_text.h"
#include "documents/json_output.h"
#include "documents/policy.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/system_info.h"
#include "storage/files.h"
#include "storage/paths.h"

namespace tallybell {
namespace {

bool 无控制字节(const std::string& 文本) { return 文本.find_first_of(std::string("\0\r\n", 3)) == std::string::npos; }

// A text whose limit starts at one byte: 1..最大 bytes without NUL, CR or LF.
bool 必填文本(const std::string& 文本, std::size_t 最大) {
  return !文本.empty() && 文本.size() <= 最大 && 无控制字节(文本);
}

bool 事件标识有效(const std::string& 标识) {
  if (标识.empty() || 标识.size() > 64 || 标识 == "." || 标识 == "..") return false;
  for (unsigned char 字符 : 标识) {
    const bool 允许 = (字符 >= '0' && 字符 <= '9') || (字符 >= 'A' && 字符 <= 'Z') || (字符 >= 'a' && 字符 <= 'z') ||
                      字符 == '-' || 字符 == '.' || 字符 == '_';
    if (!允许) return false;
  }
  return true;
}

// A lowercase GUID of 36 characters, taken from between the braces of the registry form.
bool 新事件标识(std::string* 输出) {
  platform::GUID值 值;
  if (!platform::生成GUID(&值)) return false;
  const std::wstring 注册表形式 = GUID注册表形式(值);
  if (注册表形式.size() != 38) return false;
  std::wstring 内部 = 注册表形式.substr(1, 36);
  for (auto& 字符 : 内部) {
    if (字符 >= L'A' && 字符 <= L'Z') 字符 = static_cast<wchar_t>(字符 - L'A' + L'a');
  }
  return 宽转UTF8(内部, 输出) && 输出->size() == 36;
}

}  // namespace

std::wstring 结果队列目录(const std::wstring& stateRoot) {
  return 连接路径(连接路径(stateRoot, L"results"), L"pending");
}

bool 结果事件有效(const 结果事件& 事件) {
  return 事件标识有效(事件.eventId) && 必填文本(事件.installationId, 128) && 分配标识有效(事件.assignmentId) &&
         事件.policyVersion != 0 && 事件.originalReleaseId.size() <= 128 && 必填文本(事件.targetReleaseId, 128) &&
         事件.finalReleaseId.size() <= 128 && 必填文本(事件.result, 64) && 事件.failureStage.size() <= 64 &&
         必填文本(事件.taskId, 128) && 必填文本(事件.occurredAt, 64);
}

std::string 结果事件文档(const 结果事件& 事件) {
  nlohmann::json 文档 = nlohmann::json::object();
  文档["assignmentId"] = 事件.assignmentId;
  文档["errorCode"] = 事件.errorCode;
  文档["eventId"] = 事件.eventId;
  文档["failureStage"] = 事件.failureStage;
  文档["finalReleaseId"] = 事件.finalReleaseId;
  文档["installationId"] = 事件.installationId;
  文档["occurredAt"] = 事件.occurredAt;
  文档["originalReleaseId"] = 事件.originalReleaseId;
  文档["policyVersion"] = 事件.policyVersion;
  文档["result"] = 事件.result;
  文档["targetReleaseId"] = 事件.targetReleaseId;
  文档["taskId"] = 事件.taskId;
  std::string 文本;
  return 序列化JSON(文档, &文本) ? 文本 : std::string();
}

bool 结果事件入队(const std::wstring& stateRoot, const 结果事件& 事件) {
  if (stateRoot.empty() || !结果事件有效(事件)) return false;
  const std::wstring 文件 = 连接路径(结果队列目录(stateRoot), 逐字节加宽(事件.eventId) + L".json");
  platform::文件信息 信息;
  const auto 已存在 = [&] { return platform::文件调用().查询(文件, &信息) && 信息.存在; };
  if (已存在()) return true;
  const std::string 文档 = 结果事件文档(事件);
  if (文档.empty()) return false;
  // A concurrent writer of the same id may have won the race; its event is just as good.
  return 原子写入文件(文件, 文档, L"") || 已存在();
}

bool 记录更新结果(const std::wstring& stateRoot, const std::string& installationId,
                  const 结果事件策略& 策略, const std::wstring& originalReleaseId,
                  const std::optional<std::string>& result, const std::optional<std::string>& failureStage,
                  std::uint32_t errorCode) {
  结果事件 事件;
  if (!新事件标识(&事件.eventId)) return false;
  事件.taskId = "update-" + 事件.eventId;
  事件.occurredAt = 格式化UTC时间(platform::系统时间());
  if (事件.occurredAt.size() != 20) return false;
  事件.installationId = installationId;
  事件.assignmentId = 策略.assignmentId;
  事件.policyVersion = 策略.policyVersion;
  事件.targetReleaseId = 策略.targetReleaseId;
  if (!宽转UTF8(originalReleaseId, &事件.originalReleaseId)) 事件.originalReleaseId.clear();
  事件.finalReleaseId = 事件.originalReleaseId;
  事件.result = result.value_or("failed");
  事件.failureStage = failureStage.value_or("");
  事件.errorCode = errorCode;
  return 结果事件入队(stateRoot, 事件);
}

}  // namespace tallybell
