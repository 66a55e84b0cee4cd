// The content-addressed object cache: a flat directory of "<sha256>.object" files. An
// object only enters it by the rename at the end of a verified download, so a file of that
// name is complete; one that does not verify is set aside and never served.
#pragma once

#include <cstdint>
#include <string>

namespace tallybell {

// Exactly 64 characters, each '0'-'9' or 'a'-'f'.
bool 对象哈希格式有效(const std::string& sha256);

// objectDirectory joined with the wide sha256 + ".object".
std::wstring 缓存对象路径(const std::wstring& objectDirectory, const std::string& sha256);

// True when 路径 is a regular file (not a directory, not a link) of exactly 大小 bytes
// whose SHA-256 in lowercase hex equals sha256. The file is hashed only when the size
// matches; a file that cannot be read is not valid.
bool 缓存对象有效(const std::wstring& 路径, const std::string& sha256, std::uint64_t 大小);

// Moves whatever is at 路径 to 路径 + ".corrupt-<pid>-<tick>" (write-through, never
// replacing). A failed move is ignored: the caller goes on as if the entry were gone.
void 隔离缓存对象(const std::wstring& 路径);

// Looks an object up. True with *objectPath set when a valid object is there. False with
// *objectPath and *error cleared when there is no entry of that name. False with
// *objectPath cleared and "缓存对象校验失败，已隔离。" when the entry is not valid; it has
// then been set aside. False with "缓存查找参数无效。" and *objectPath untouched for a
// missing objectPath, an empty directory or a malformed sha256. Never deletes anything.
bool 缓存查找(const std::wstring& objectDirectory, const std::string& sha256, std::uint64_t size,
             std::wstring* objectPath, std::wstring* error);

}  // namespace tallybell
