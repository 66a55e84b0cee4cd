// Feeds arbitrary bytes to the reading of a check time (a policy's checkAfter, a stored
// next check). Besides the sanitizers it checks that a failure leaves the output alone and
// that an accepted time survives its own text form: the twenty-character UTC text of the
// value, read again, gives the value rounded down to the second.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/time_text.h"

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* 数据, std::size_t 大小) {
  const std::string 文本(reinterpret_cast<const char*>(数据), 大小);
  constexpr std::uint64_t 哨兵 = 0x5A5A5A5A5A5A5A5Aull;
  std::uint64_t 时间值 = 哨兵;
  if (!tallybell::解析检查时间(文本, &时间值)) {
    要求(时间值 == 哨兵);
    return 0;
  }
  std::string 标准文本;
  // A zone offset can carry 9999-12-31 past the last writable second; nothing to compare.
  if (!tallybell::格式化检查时间(时间值, &标准文本)) return 0;
  要求(标准文本.size() == 20 && 标准文本.back() == 'Z');
  std::uint64_t 再读 = 0;
  要求(tallybell::解析检查时间(标准文本, &再读));
  要求(再读 == 时间值 / 10'000'000 * 10'000'000);
  return 0;
}
