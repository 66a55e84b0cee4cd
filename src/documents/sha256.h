// SHA-256 digests of memory buffers and files, and their lowercase hexadecimal form, the
// only form in which the system compares digests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tallybell {

inline constexpr std::size_t SHA256字节数 = 32;

// Digest of 长度 bytes at 数据 into 摘要 (32 bytes). A size of 0 is valid with any pointer.
// Fails for a null 摘要, null data with a size above 0 and sizes above 4294967295 bytes.
// On failure 摘要 is not to be used and *错误 (when given) receives one message.
bool 计算数据SHA256(const void* 数据, std::uint64_t 长度, unsigned char* 摘要,
                    std::wstring* 错误 = nullptr);

// Digest of the file at 路径, read in 1 MiB pieces through the platform's file calls with
// read-only, sequential access that excludes writers. On failure 摘要 is not to be used and
// *错误 (when given) receives one message.
bool 计算文件SHA256(const std::wstring& 路径, unsigned char* 摘要, std::wstring* 错误 = nullptr);

// 64 characters from "0123456789abcdef", two per byte, high nibble first.
std::string 转小写十六进制(const unsigned char* 摘要);

// True for exactly the texts 转小写十六进制 produces: 64 characters of "0123456789abcdef".
// A digest names a cache object and a fixture file, so no other spelling may pass.
bool 是小写SHA256文本(const std::string& 文本);
bool 是小写SHA256文本(const std::wstring& 文本);

}  // namespace tallybell
