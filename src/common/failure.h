// How an operation hands back its outcome through an optional message pointer: on failure
// the message, when one is asked for, receives exactly one sentence; on success it is
// cleared, so a caller never reads a sentence left over from an earlier call.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace tallybell {

// *错误 (when given) becomes 消息; returns false.
inline bool 失败(std::wstring* 错误, std::wstring 消息) {
  if (错误 != nullptr) *错误 = std::move(消息);
  return false;
}

// *错误 (when given) is cleared; returns true.
inline bool 清空并成功(std::wstring* 错误) {
  if (错误 != nullptr) 错误->clear();
  return true;
}

// For operations that end with a result code: *错误 (when given) becomes 文本, or is
// cleared when 文本 is null (a success code); returns 代码.
inline std::uint32_t 以代码结束(std::uint32_t 代码, const wchar_t* 文本, std::wstring* 错误) {
  if (错误 != nullptr) {
    if (文本 == nullptr) {
      错误->clear();
    } else {
      *错误 = 文本;
    }
  }
  return 代码;
}

}  // namespace tallybell
