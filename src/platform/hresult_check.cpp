#include "platform/hresult_check.h"

#include "common/text.h"

namespace tallybell {

bool 检查HRESULT(std::int32_t 结果, const std::wstring& 步骤, std::wstring* 错误) {
  if (结果 >= 0) {
    if (错误 != nullptr) 错误->clear();
    return true;
  }
  if (错误 != nullptr) *错误 = 步骤 + L"失败，HRESULT=" + 十进制宽(static_cast<std::uint32_t>(结果));
  return false;
}

}  // namespace tallybell
