// Which addresses an object download may use.
#pragma once

#include <string>

namespace tallybell {

// At least 9 characters, no character below U+0021 and no backslash, and either
// "https://" or "http://" followed by the designated plain-HTTP content host (both
// prefixes compared without regard to ASCII case) where the host ends the URL or is
// followed by '/', '?' or '#'. Applies to every listed URL and to every final URL after
// redirects.
bool 下载地址有效(const std::wstring& 地址);

}  // namespace tallybell
