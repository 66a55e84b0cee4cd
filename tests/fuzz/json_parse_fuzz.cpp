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

using tallybell::Json值;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* 数据, std::size_t 大小) {
  const std::string 文本(reinterpret_cast<const char*>(数据), 大小);
  Json值 值 = Json值::字符串("sentinel");
  std::wstring 错误 = L"stale";
  if (!Json值::解析(文本, &值, &错误)) {
    要求(是JSON错误消息(错误));
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
