// What makes a release directory complete: the manifest it was built from, a completion
// marker naming that manifest, and every listed file with the right size and SHA-256.
// The checks only read; they never repair, delete or move anything.
#pragma once

#include <string>

#include "documents/manifest.h"

namespace tallybell {

// Entries of a release directory besides the release files.
inline constexpr wchar_t 发布清单文件名[] = L"release.manifest.json";
inline constexpr wchar_t 完成标记文件名[] = L"complete.json";

// The full check of 目录 (no trailing separator) against 清单 and the hash the manifest was
// accepted under. True (and *错误 cleared) when the stored manifest has that hash, the
// completion marker names the release and the hash, and every file of 清单 verifies.
// An unreadable release.manifest.json or a path that does not convert fails with *错误
// left as it was; every other failure sets one message, the first bad file in manifest
// order deciding which. A link is never a release: 目录 itself, its manifest or its marker
// being one fails the check, and a link in place of a folder on the way to a release file
// makes that file missing, as a link in place of the file itself does.
bool 校验发布目录(const std::wstring& 目录, const 发布清单& 清单, const std::string& 期望哈希,
                  std::wstring* 错误 = nullptr);

// True when 目录 is a real directory (not a link) and no folder between it and the release
// file at 相对路径 is a link: only then is what lies at that path part of the release.
bool 发布文件路径可信(const std::wstring& 目录, const std::wstring& 相对路径);

// The self-check of a committed directory from its own manifest: that manifest parses, and
// the directory verifies against it and its digest.
bool 发布目录可用(const std::wstring& 目录);

// One file: it exists as a regular file (a directory or a symbolic link at 路径 counts as
// missing), its size matches before anything is read, and its digest matches.
bool 校验发布文件(const std::wstring& 路径, const 发布文件& 条目, std::wstring* 错误 = nullptr);

// 期望哈希 must be 64 lowercase hexadecimal characters and the digest of 文本.
bool 校验发布清单哈希(const std::string& 文本, const std::string& 期望哈希,
                      std::wstring* 错误 = nullptr);

// The completion marker at 路径 reads whole, parses strictly, has an object root, and its
// releaseId and manifestHash strings equal the expected values byte for byte. Nothing else
// of the marker is read.
bool 完成标记匹配(const std::wstring& 路径, const std::string& 期望发布标识,
                  const std::string& 期望哈希);

// A manifest path as a relative path of this platform: strict UTF-8 to wide, each '/'
// replaced by the platform separator. Empty means the path does not convert.
std::wstring 转换发布文件路径(const std::string& 清单路径);

}  // namespace tallybell
