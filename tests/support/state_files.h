// Writing and reading local version state files in tests, through the program's own format.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "storage/version_state.h"
#include "support/file_helpers.h"

namespace tallybell::测试 {

// Writes 状态 as state.txt below 状态根 in the canonical form.
inline void 写状态文件(const std::filesystem::path& 状态根, const 本地版本状态& 状态,
                       const std::string& 文件名 = "state.txt") {
  const std::string 文本 = 序列化本地版本状态(状态);
  ASSERT_FALSE(文本.empty());
  写测试文件(状态根 / 文件名, 文本);
}

// Parses a state file; fails the test when it is not a usable state.
inline 本地版本状态 读状态文件(const std::filesystem::path& 路径) {
  本地版本状态 状态;
  EXPECT_TRUE(解析本地版本状态(读测试文件(路径), &状态)) << 路径;
  return 状态;
}

}  // namespace tallybell::测试
