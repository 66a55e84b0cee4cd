#include "documents/json_value.h"

#include <exception>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "common/text.h"

namespace tallybell {
namespace {

constexpr int 最大嵌套层数 = 32;

const wchar_t* const 输出为空消息 = L"JSON 输出参数不能为空。";
const wchar_t* const 语法错误消息 = L"JSON 格式或 UTF-8 编码无效。";
const wchar_t* const 重复字段消息 = L"JSON 对象包含重复字段。";
const wchar_t* const 嵌套过深消息 = L"JSON 嵌套深度不能超过 32 层。";
const wchar_t* const 非整数消息 = L"JSON 只允许整数，不允许浮点数或超大整数。";
const wchar_t* const 不支持类型消息 = L"JSON 包含不支持的值类型。";

void 设置错误(std::wstring* 错误, const wchar_t* 消息) {
  if (错误 != nullptr) *错误 = 消息;
}

// What the parse callback learns in the single pass over the document. The callback keeps
// every value, so the library's tree is complete when the parse succeeds.
struct 严格检查 {
  int 深度 = 0;
  std::vector<std::set<std::string>> 名称栈;
  bool 重复 = false;
  bool 过深 = false;
  bool 非整数 = false;

  bool 处理(nlohmann::json::parse_event_t 事件, const nlohmann::json& 值) {
    using 事件类型 = nlohmann::json::parse_event_t;
    switch (事件) {
      case 事件类型::object_start:
        进入容器();
        名称栈.emplace_back();
        break;
      case 事件类型::array_start:
        进入容器();
        break;
      case 事件类型::object_end:
        --深度;
        if (!名称栈.empty()) 名称栈.pop_back();
        break;
      case 事件类型::array_end:
        --深度;
        break;
      case 事件类型::key:
        if (!名称栈.empty() && 值.is_string() &&
            !名称栈.back().insert(值.get_ref<const std::string&>()).second) {
          重复 = true;
        }
        break;
      case 事件类型::value:
        // Fractions, exponents and integers outside both 64-bit ranges all arrive as
        // floating-point numbers.
        if (值.is_number_float()) 非整数 = true;
        break;
    }
    return true;
  }

  void 进入容器() {
    if (++深度 > 最大嵌套层数) 过深 = true;
  }
};

// Converts the library's tree; depth is already bounded by the strict checks.
bool 转换(const nlohmann::json& 来源, Json值* 输出) {
  using 值类型 = nlohmann::json::value_t;
  switch (来源.type()) {
    case 值类型::null:
      *输出 = Json值();
      return true;
    case 值类型::object: {
      Json值 对象 = Json值::对象();
      for (auto 位置 = 来源.begin(); 位置 != 来源.end(); ++位置) {
        Json值 转换后;
        if (!转换(位置.value(), &转换后)) return false;
        对象.设置成员(位置.key(), std::move(转换后));
      }
      *输出 = std::move(对象);
      return true;
    }
    case 值类型::array: {
      Json值 数组 = Json值::数组();
      for (const auto& 元素 : 来源) {
        Json值 转换后;
        if (!转换(元素, &转换后)) return false;
        数组.追加元素(std::move(转换后));
      }
      *输出 = std::move(数组);
      return true;
    }
    case 值类型::string:
      *输出 = Json值::字符串(来源.get_ref<const std::string&>());
      return true;
    case 值类型::boolean:
      *输出 = Json值::布尔(来源.get<bool>());
      return true;
    case 值类型::number_integer:
      // The lexer produces this kind only for literals with a minus sign.
      *输出 = Json值::有符号整数(来源.get<std::int64_t>());
      return true;
    case 值类型::number_unsigned:
      *输出 = Json值::无符号整数(来源.get<std::uint64_t>());
      return true;
    case 值类型::number_float:
    case 值类型::binary:
    case 值类型::discarded:
      return false;
  }
  return false;
}

}  // namespace

Json值 Json值::字符串(std::string 文本) {
  Json值 值(Json类型::字符串);
  值.文本_ = std::move(文本);
  return 值;
}

Json值 Json值::有符号整数(std::int64_t 数) {
  Json值 值(Json类型::有符号整数);
  值.有符号值_ = 数;
  return 值;
}

Json值 Json值::无符号整数(std::uint64_t 数) {
  Json值 值(Json类型::无符号整数);
  值.无符号值_ = 数;
  return 值;
}

Json值 Json值::布尔(bool 标志) {
  Json值 值(Json类型::布尔);
  值.布尔值_ = 标志;
  return 值;
}

bool Json值::解析(const std::string& 文本, Json值* 输出, std::wstring* 错误) {
  if (输出 == nullptr) {
    设置错误(错误, 输出为空消息);
    return false;
  }

  // The library takes a zero byte for the end of the input and would ignore everything
  // after it; a zero byte is never valid outside a string, nor unescaped inside one.
  if (文本.find('\0') != std::string::npos) {
    设置错误(错误, 语法错误消息);
    return false;
  }

  严格检查 检查;
  nlohmann::json 库值;
  try {
    库值 = nlohmann::json::parse(
        文本,
        [&检查](int, nlohmann::json::parse_event_t 事件, nlohmann::json& 值) {
          return 检查.处理(事件, 值);
        },
        /*allow_exceptions=*/true, /*ignore_comments=*/false);
  } catch (const std::exception&) {
    // Syntax errors, invalid UTF-8 and anything else the library raises while parsing.
    设置错误(错误, 语法错误消息);
    return false;
  }

  if (检查.重复) {
    设置错误(错误, 重复字段消息);
    return false;
  }
  if (检查.过深) {
    设置错误(错误, 嵌套过深消息);
    return false;
  }
  if (检查.非整数) {
    设置错误(错误, 非整数消息);
    return false;
  }

  Json值 结果;
  if (!转换(库值, &结果)) {
    设置错误(错误, 不支持类型消息);
    return false;
  }
  *输出 = std::move(结果);
  if (错误 != nullptr) 错误->clear();
  return true;
}

const Json值* Json值::查找成员(const char* 名称) const {
  if (类型_ != Json类型::对象 || 名称 == nullptr) return nullptr;
  const auto 位置 = 成员_.find(名称);
  return 位置 == 成员_.end() ? nullptr : &位置->second;
}

void Json值::确保类型(Json类型 类型) {
  if (类型_ != 类型) *this = Json值(类型);
}

void Json值::设置成员(const std::string& 名称, Json值 值) {
  确保类型(Json类型::对象);
  成员_[名称] = std::move(值);
}

bool Json值::移除成员(const std::string& 名称) {
  if (类型_ != Json类型::对象) return false;
  return 成员_.erase(名称) != 0;
}

void Json值::追加元素(Json值 值) {
  确保类型(Json类型::数组);
  元素_.push_back(std::move(值));
}

bool 读取非空字符串字段(const Json值& 对象, const char* 名称, std::string* 输出,
                        std::wstring* 错误) {
  const Json值* 成员 = 对象.查找成员(名称);
  if (输出 != nullptr && 成员 != nullptr && 成员->是字符串()) {
    *输出 = 成员->文本();
    if (!输出->empty() && 输出->find('\0') == std::string::npos) {
      if (错误 != nullptr) 错误->clear();
      return true;
    }
  }
  if (错误 != nullptr) {
    *错误 = L"字段缺失或不是非空字符串：";
    if (名称 != nullptr) *错误 += 逐字节加宽(名称);
  }
  return false;
}

bool 读取非负整数(const Json值* 值, std::uint64_t* 输出) {
  if (值 == nullptr || 输出 == nullptr) return false;
  if (值->是无符号整数()) {
    *输出 = 值->无符号值();
    return true;
  }
  if (值->是有符号整数() && 值->有符号值() >= 0) {
    *输出 = static_cast<std::uint64_t>(值->有符号值());
    return true;
  }
  return false;
}

}  // namespace tallybell
