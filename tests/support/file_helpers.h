// Small file helpers for test set-up and checks (tests may use the standard library).
#pragma once

#include <filesystem>
#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace tallybell::测试 {

inline void 写测试文件(const std::filesystem::path& 路径, const std::string& 内容) {
  std::filesystem::create_directories(路径.parent_path());
  std::ofstream 输出(路径, std::ios::binary | std::ios::trunc);
  输出.write(内容.data(), static_cast<std::streamsize>(内容.size()));
}

inline std::string 读测试文件(const std::filesystem::path& 路径) {
  std::ifstream 输入(路径, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(输入), std::istreambuf_iterator<char>());
}

// Names of the entries directly inside a directory, sorted.
inline std::vector<std::string> 目录内容(const std::filesystem::path& 路径) {
  std::vector<std::string> 名称;
  for (const auto& 项 : std::filesystem::directory_iterator(路径)) 名称.push_back(项.path().filename().u8string());
  std::sort(名称.begin(), 名称.end());
  return 名称;
}

}  // namespace tallybell::测试
