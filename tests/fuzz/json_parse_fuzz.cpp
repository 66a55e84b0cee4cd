// Feeds arbitrary bytes to the strict JSON parse. Besides the sanitizers it checks the
// parse's contract: a failure leaves the output alone and gives one of the fixed
// messages; a success clears the message, and the canonical text of the value parses back
// to the same canonical text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "documents/json_output.h"
#include "documents/json_value.h"

#include "fuzz_support.h"

namespace {

using tallybell::Json值;

bool 是已知消息(const std::wstring& 消息) {
  static const wchar_t* const 消息表[] = {
      L"JSON 格式或 UTF-8 编码无效。",
      L"JSON 对象包含重复字段。",
      L"JSON 嵌套深度不能超过 32 层。",
      L"JSON 只允许整数，不允许浮点数或超大整数。",
      L"JSON 包含不支持的值类型。",
  };
  for (const wchar_t* 已知 : 消息表) {
    if (消息 == 已知) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* 数据, std::size_t 大小) {
  const std::string 文本(reinterpret_cast<const char*>(数据), 大小);
  Json值 值 = Json值::字符串("sentinel");
  std::wstring 错误 = L"stale";
  if (!Json值::解析(文本, &值, &错误)) {
    要求(是已知消息(错误));
    要求(值.是字符串() && 值.文本() == "sentinel");
    return 0;
  }
  要求(错误.empty());

  std::string 规范文本;
  要求(tallybell::序列化JSON(值, &规范文本));
  Json值 再解析;
  要求(Json值::解析(规范文本, &再解析));
  std::string 再规范;
  要求(tallybell::序列化JSON(再解析, &再规范));
  要求(再规范 == 规范文本);
  return 0;
}
