// The one form in which the update core writes JSON: compact, members in ascending byte
// order of their names, non-ASCII characters as raw UTF-8, only what JSON requires escaped
// (", \, and control characters as \b \t \n \f \r or \u00xx in lower case). A string that
// is not valid UTF-8 makes the output fail; nothing is ever replaced or dropped.
#pragma once

#include <string>

#include <nlohmann/json_fwd.hpp>

#include "documents/json_value.h"

namespace tallybell {

// The library's value for 值 (objects keep their byte order). Fails only when the library
// refuses to allocate.
bool 转为Json库值(const Json值& 值, nlohmann::json* 输出);

// The canonical text of 值 in *输出. False (and *输出 cleared) when a string or member
// name holds invalid UTF-8 or the library raises any other error.
bool 序列化JSON(const Json值& 值, std::string* 输出);

// The same for a value built with the library directly. Its default object type is an
// ordered map, so members come out in ascending byte order whatever the insertion order.
bool 序列化JSON(const nlohmann::json& 值, std::string* 输出);

}  // namespace tallybell
