// One pass over a file in 1 MiB pieces through a single buffer: its SHA-256, and
// optionally a copy of every piece into another open file. Memory use does not depend on
// the file's size.
#pragma once

#include <cstdint>
#include <string>

#include "platform/file_system.h"

namespace tallybell {

class 进度行;

enum class 流结果 { 成功, 读取失败, 写入失败 };

// Reads 路径 to its end, hashing every byte; when 副本 is given and open, every piece is
// also written to it completely. 进度 (optional) advances by each piece. On 成功 the
// lowercase hex digest and the byte count are in *sha256 and *字节数.
流结果 流式处理文件(const std::wstring& 路径, const platform::文件* 副本, 进度行* 进度, std::string* sha256,
                    std::uint64_t* 字节数);

}  // namespace tallybell
