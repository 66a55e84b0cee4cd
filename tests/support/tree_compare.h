// Reading a whole directory tree into a map for exact comparison in tests.
#pragma once

#include <filesystem>
#include <map>
#include <string>

#include "support/file_helpers.h"

namespace tallybell::测试 {

// Relative path ('/' separated) → content for files; directories map to "<dir>".
inline std::map<std::string, std::string> 读取目录树(const std::filesystem::path& 根) {
  std::map<std::string, std::string> 结果;
  for (const auto& 项 : std::filesystem::recursive_directory_iterator(根)) {
    const std::string 相对 = std::filesystem::relative(项.path(), 根).generic_u8string();
    结果[相对] = 项.is_directory() ? std::string("<dir>") : 读测试文件(项.path());
  }
  return 结果;
}

// Writes files given as relative path → content.
inline void 写目录树(const std::filesystem::path& 根, const std::map<std::string, std::string>& 文件) {
  std::filesystem::create_directories(根);
  for (const auto& [路径, 内容] : 文件) 写测试文件(根 / std::filesystem::u8path(路径), 内容);
}

}  // namespace tallybell::测试
