// HRESULT results of the scheduler's COM calls, turned into the update core's messages.
#pragma once

#include <cstdint>
#include <string>

namespace tallybell {

// True for a success code (the sign bit clear), and *错误 is cleared. Otherwise *错误
// becomes 步骤 + "失败，HRESULT=" + the HRESULT as an unsigned 32-bit decimal number, for
// example "注册后台更新任务失败，HRESULT=2147942405" for an access-denied failure.
bool 检查HRESULT(std::int32_t 结果, const std::wstring& 步骤, std::wstring* 错误);

}  // namespace tallybell
