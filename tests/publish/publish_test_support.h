// Running the publishing tool from tests, on a sample build laid out in a temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "support/file_helpers.h"
#include "support/program_runner.h"
#include "support/release_builder.h"
#include "support/tree_compare.h"

namespace tallybell::测试 {

// Standard output and standard error together: the tests read the error lines too.
inline 程序结果 运行发布工具(const std::vector<std::string>& 参数) {
  return 运行程序(TALLYBELL_PUBLISH_PROGRAM, 参数, {}, true);
}

inline std::string 路径文本(const std::filesystem::path& 路径) { return 路径.u8string(); }

// A small build: the executable, a library twice (one content, two paths) and a text.
inline 发布内容 样例构建() {
  return {{"Tallybell.exe", "Tallybell sample executable\n"},
          {"bin/core.dll", std::string(3000, 'c')},
          {"bin/core-copy.dll", std::string(3000, 'c')},
          {"docs/读我.txt", "sample release notes\n"}};
}

inline void 写构建(const std::filesystem::path& 目录, const 发布内容& 文件) {
  std::filesystem::create_directories(目录);
  for (const auto& [路径, 内容] : 文件) 写测试文件(目录 / std::filesystem::u8path(路径), 内容);
}

// The one 64-character line the release command prints on standard output.
inline std::string 取清单哈希行(const std::string& 输出) {
  std::smatch 匹配;
  static const std::regex 哈希行("(^|\n)([0-9a-f]{64})\n");
  return std::regex_search(输出, 匹配, 哈希行) ? 匹配[2].str() : std::string();
}

// Publishes 构建 as 发布标识 into 内容 with the options given (one base URL by default);
// returns the printed manifest hash.
inline std::string 发布(const std::filesystem::path& 构建, const std::string& 发布标识, const std::filesystem::path& 内容,
                        const std::vector<std::string>& 选项 = {"--base-url", "https://content.example/tallybell"}) {
  std::vector<std::string> 参数 = {"release", "--input", 路径文本(构建), "--release-id", 发布标识, "--out", 路径文本(内容)};
  参数.insert(参数.end(), 选项.begin(), 选项.end());
  const auto 结果 = 运行发布工具(参数);
  EXPECT_TRUE(结果.已运行);
  EXPECT_EQ(结果.退出码, 0u) << 结果.输出;
  return 取清单哈希行(结果.输出);
}

}  // namespace tallybell::测试
