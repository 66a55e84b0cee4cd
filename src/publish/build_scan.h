// Listing a build directory as the files of a release, refusing whatever the update core
// would refuse or could not install.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "publish/publish_output.h"

namespace tallybell {

struct 构建文件 {
  std::string path;        // canonical relative path, UTF-8, '/' separators
  std::wstring 完整路径;   // where it is read from
  std::uint64_t size = 0;  // as listed; the hash pass confirms it
};

// Every regular file below 根, sorted by the bytes of its path. Refused (code 3, the
// message naming the file): a symbolic link or other reparse point anywhere, a name that
// is not valid Unicode, a path the manifest rules reject (too long, '\', ':'), two paths
// equal ignoring ASCII case, a top-level file that a release directory keeps for itself
// (release.manifest.json, complete.json, in any letter case), and a build without the
// top-level Tallybell.exe. A directory that cannot be listed is code 4. Empty folders
// carry nothing into a release and are skipped.
bool 扫描构建目录(const std::wstring& 根, std::vector<构建文件>* 输出, 发布失败* 失败);

}  // namespace tallybell
