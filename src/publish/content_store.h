// Writing into a content directory: objects named by their SHA-256, stored once and never
// rewritten, and documents that are created once and never replaced.
#pragma once

#include <cstdint>
#include <string>

namespace tallybell {

enum class 对象存放结果 {
  新写入,    // the object was copied from the source, verified and renamed into place
  已存在,    // a valid object of that name was already there (it was re-hashed)
  已损坏,    // something of that name is there but is not that content; left untouched
  源已改变,  // the source no longer has the size and digest it was published with
  失败,      // reading, writing or the rename failed; nothing is left behind
};

// Stores 源文件 as <对象目录>/<sha256>.object: streamed into a temporary file beside it
// with hashing, flushed, checked against sha256 and 大小, then renamed without replacing.
// An object already present is verified instead and never rewritten.
对象存放结果 存放对象(const std::wstring& 对象目录, const std::wstring& 源文件, const std::string& sha256,
                      std::uint64_t 大小);

enum class 新文件结果 { 已写入, 相同已存在, 不同已存在, 失败 };

// Creates 目标 (and its missing parents) with 内容: a flushed temporary file renamed into
// place without replacing, so readers see the whole document or none. An existing 目标
// is compared byte for byte and never changed.
新文件结果 写入新文件(const std::wstring& 目标, const std::string& 内容);

}  // namespace tallybell
