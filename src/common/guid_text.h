// Text forms of a GUID.
#pragma once

#include <string>

#include "platform/system_info.h"

namespace tallybell {

// The registry form: 38 characters, upper-case hexadecimal between braces,
// {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}.
std::wstring GUID注册表形式(const platform::GUID值& 值);

}  // namespace tallybell
