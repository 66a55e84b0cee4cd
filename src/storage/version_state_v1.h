// The read-only version 1 form of the local version state. Internal to the state store.
#pragma once

#include <string>

#include "storage/version_state.h"

namespace tallybell {

// The exact first 15 bytes of a version 1 text.
inline constexpr char 版本1前缀[] = "stateVersion=1\n";

// True when 文本 is at least 15 bytes long and begins with 版本1前缀.
bool 是版本1文本(const std::string& 文本);

// Parses version 1 lines ("key=value", separated by line feeds) into a default record.
// False when any value is not valid UTF-8; *输出 is replaced only on success.
bool 解析版本1本地版本状态(const std::string& 文本, 本地版本状态* 输出);

}  // namespace tallybell
