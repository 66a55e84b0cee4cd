#include <utility>

#include "coordinator/quarantine_recovery.h"
#include "documents/json_output.h"
#include "documents/json_value.h"

namespace tallybell {
namespace {

// The stored document's unknown members as one object; an empty text stands for none.
bool 读取保留对象(const 本地版本状态& 状态, Json值* 对象) {
  if (状态.preservedFields.empty()) {
    *对象 = Json值::对象();
    return true;
  }
  Json值 值;
  if (!Json值::解析(状态.preservedFields, &值) || !值.是对象()) return false;
  *对象 = std::move(值);
  return true;
}

}  // namespace

std::string 计算恢复指纹(const 版本策略& 策略) {
  return "recovery-v1|" + 策略.targetReleaseId + "|" + 策略.manifestHash;
}

std::string 查询恢复指纹状态(const 本地版本状态& 状态, const std::string& 指纹) {
  Json值 对象;
  if (!读取保留对象(状态, &对象)) return "invalid";
  const Json值* 记录 = 对象.查找成员(恢复指纹成员);
  if (记录 == nullptr) return "unused";
  if (!记录->是数组()) return "invalid";
  bool 已用 = false;
  // A malformed element anywhere makes the whole record untrustworthy, even after a match.
  for (const Json值& 元素 : 记录->元素()) {
    if (!元素.是字符串()) return "invalid";
    if (元素.文本() == 指纹) 已用 = true;
  }
  return 已用 ? "used" : "unused";
}

bool 登记恢复指纹(本地版本状态* 状态, const std::string& 指纹) {
  if (状态 == nullptr) return false;
  Json值 对象;
  if (!读取保留对象(*状态, &对象)) return false;
  const Json值* 记录 = 对象.查找成员(恢复指纹成员);
  Json值 数组 = 记录 == nullptr ? Json值::数组() : *记录;
  if (!数组.是数组()) return false;
  for (const Json值& 元素 : 数组.元素()) {
    if (元素.是字符串() && 元素.文本() == 指纹) return true;
  }
  数组.追加元素(Json值::字符串(指纹));
  对象.设置成员(恢复指纹成员, std::move(数组));
  std::string 文本;
  if (!序列化JSON(对象, &文本)) return false;
  状态->preservedFields = std::move(文本);
  return true;
}

}  // namespace tallybell
