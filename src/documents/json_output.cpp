#include "documents/json_output.h"

#include <exception>
#include <utility>

#include <nlohmann/json.hpp>

namespace tallybell {
namespace {

nlohmann::json 转换(const Json值& 值) {
  switch (值.类型()) {
    case Json类型::空:
      return nullptr;
    case Json类型::对象: {
      nlohmann::json 对象 = nlohmann::json::object();
      for (const auto& [名称, 成员] : 值.成员()) 对象[名称] = 转换(成员);
      return 对象;
    }
    case Json类型::数组: {
      nlohmann::json 数组 = nlohmann::json::array();
      for (const Json值& 元素 : 值.元素()) 数组.push_back(转换(元素));
      return 数组;
    }
    case Json类型::字符串:
      return 值.文本();
    case Json类型::有符号整数:
      return 值.有符号值();
    case Json类型::无符号整数:
      return 值.无符号值();
    case Json类型::布尔:
      return 值.布尔值();
  }
  return nullptr;
}

}  // namespace

bool 转为Json库值(const Json值& 值, nlohmann::json* 输出) {
  if (输出 == nullptr) return false;
  try {
    *输出 = 转换(值);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool 序列化JSON(const nlohmann::json& 值, std::string* 输出) {
  if (输出 == nullptr) return false;
  try {
    // Strict error handling throws on invalid UTF-8 instead of replacing or skipping it.
    *输出 = 值.dump(-1, ' ', /*ensure_ascii=*/false, nlohmann::json::error_handler_t::strict);
    return true;
  } catch (const std::exception&) {
    输出->clear();
    return false;
  }
}

bool 序列化JSON(const Json值& 值, std::string* 输出) {
  if (输出 == nullptr) return false;
  nlohmann::json 库值;
  if (!转为Json库值(值, &库值)) {
    输出->clear();
    return false;
  }
  return 序列化JSON(库值, 输出);
}

}  // namespace tallybell
