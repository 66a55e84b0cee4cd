// Writes arbitrary bytes as the stored task delay file of a scratch state folder and reads
// it through the program's own reading. Besides the sanitizers it checks: the delay handed
// out is always within the allowed range; stored text that is 1 to 3 digits (line breaks
// after it allowed) with a value in range is kept as it is; anything else is replaced by a
// fresh delay that the next reading returns unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/text.h"
#include "storage/files.h"
#include "tasks/task_delay.h"

#include "fuzz_support.h"

namespace {

namespace tb = tallybell;

bool 是有效延迟文本(std::string 文本, std::uint32_t* 值) {
  while (!文本.empty() && (文本.back() == '\r' || 文本.back() == '\n')) 文本.pop_back();
  if (文本.empty() || 文本.size() > 3 || 文本.find_first_not_of("0123456789") != std::string::npos) return false;
  *值 = static_cast<std::uint32_t>(std::stoul(文本));
  return *值 >= tb::最短任务延迟秒 && *值 <= tb::最长任务延迟秒;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* 数据, std::size_t 大小) {
  static const std::wstring 状态根 = tb::测试::模糊测试临时状态根();
  const std::string 内容(reinterpret_cast<const char*>(数据), 大小);
  const std::wstring 文件 = tb::任务延迟文件(状态根);
  要求(tb::原子写入文件(文件, 内容, 文件 + L".bak"));

  std::uint32_t 延迟 = 0;
  要求(tb::读取或创建任务延迟(状态根, &延迟));
  要求(延迟 >= tb::最短任务延迟秒 && 延迟 <= tb::最长任务延迟秒);

  std::uint32_t 期望 = 0;
  if (是有效延迟文本(内容, &期望)) {
    要求(延迟 == 期望);
  } else {
    std::uint32_t 再读 = 0;
    要求(tb::读取或创建任务延迟(状态根, &再读) && 再读 == 延迟);
    std::string 新内容;
    要求(tb::读取整个文件(文件, &新内容) && 新内容 == tb::十进制(延迟) + "\n");
  }
  return 0;
}
