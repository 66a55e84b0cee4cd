#include "app/result_output.h"

#include <cstring>

#include "common/text.h"
#include "platform/console.h"

namespace tallybell {

void 写控制台(const char* 文本) {
  if (文本 != nullptr && *文本 != '\0') platform::写标准输出(文本, std::strlen(文本));
}

void 写控制台(const std::string& 文本) {
  if (!文本.empty()) platform::写标准输出(文本.data(), 文本.size());
}

void 写控制台宽(const std::wstring& 文本) {
  std::string 字节;
  if (!文本.empty() && 宽转UTF8(文本, &字节)) 写控制台(字节);
}

}  // namespace tallybell
