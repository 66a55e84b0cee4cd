// Writes arbitrary bytes as the stored installation identity of a scratch state folder and
// reads it through the program's own reading. Besides the sanitizers it checks: the
// identity handed out is always 36 characters of lowercase hexadecimal digits and dashes;
// a stored identity of that form (line breaks after it allowed) is kept; anything else is
// replaced on disk by the identity handed out, so the next run sends the same one.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "coordinator/installation_identity.h"
#include "storage/files.h"

#include "fuzz_support.h"

namespace {

namespace tb = tallybell;

bool 是标识形状(const std::string& 文本) {
  return 文本.size() == 36 && 文本.find_first_not_of("0123456789abcdef-") == std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* 数据, std::size_t 大小) {
  static const std::wstring 状态根 = tb::测试::模糊测试临时状态根();
  const std::string 内容(reinterpret_cast<const char*>(数据), 大小);
  const std::wstring 文件 = tb::设备安装标识路径(状态根);
  要求(tb::原子写入文件(文件, 内容, 文件 + L".bak"));

  std::string 标识;
  要求(tb::取得设备安装标识(状态根, &标识));
  要求(是标识形状(标识) && tb::设备安装标识有效(标识));

  std::string 去换行 = 内容;
  while (!去换行.empty() && (去换行.back() == '\r' || 去换行.back() == '\n')) 去换行.pop_back();
  if (是标识形状(去换行)) {
    要求(标识 == 去换行);
  } else {
    std::string 新内容;
    要求(tb::读取整个文件(文件, &新内容) && 新内容 == 标识 + "\n");
  }
  return 0;
}
