// Text forms of a GUID.
#pragma once

#include <cstdint>
#include <string>

namespace tallybell {

// A GUID in the field layout of the Windows GUID structure.
struct GUID值 {
  std::uint32_t 数据1 = 0;
  std::uint16_t 数据2 = 0;
  std::uint16_t 数据3 = 0;
  std::uint8_t 数据4[8] = {};
};

// The registry form: 38 characters, upper-case hexadecimal between braces,
// {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}.
std::wstring GUID注册表形式(const GUID值& 值);

}  // namespace tallybell
