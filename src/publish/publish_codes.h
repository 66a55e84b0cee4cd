// Every exit code of the publishing tool, in one place. They are small numbers on purpose:
// a shell sees them unchanged on every platform.
#pragma once

#include <cstdint>

namespace tallybell {

enum 发布工具码 : std::uint32_t {
  发布成功 = 0,
  // Unknown command, unknown or repeated option, missing or malformed value.
  发布参数无效 = 2,
  // The input would give content the update core refuses (a path, a name, a release id,
  // a URL, a policy value, a missing Tallybell.exe, a link in the build).
  发布输入被拒绝 = 3,
  // A file could not be read, written, hashed or moved, or changed while it was read.
  发布读写失败 = 4,
  // Content already in place does not match its name or its manifest.
  发布内容已损坏 = 5,
  // The release id already has a different manifest, or the output already exists.
  发布目标已存在 = 6,
};

}  // namespace tallybell
