// Bringing one manifest file into the staging release from the cheapest verified source.
#pragma once

#include <cstdint>
#include <string>

#include "release/assembly.h"

namespace tallybell {

enum class 文件来源 { 已有版本, 缓存, 下载 };

// Copies 源 to 目标 (parents created, never overwriting) and verifies the copy against the
// manifest entry; a copy that does not verify is deleted.
bool 复制并校验(const std::wstring& 源, const std::wstring& 目标, const 发布文件& 条目);

// Places 条目 at 目标 from an installed release, the cache or a download. Returns 0 with
// *来源 set, or 3009/3010 with the message.
std::uint32_t 放置发布文件(const 版本组装配置& 配置, const 发布文件& 条目, const std::wstring& 相对路径,
                           const std::wstring& 目标, 下载传输* 传输, 文件来源* 来源, std::wstring* 错误);

}  // namespace tallybell
