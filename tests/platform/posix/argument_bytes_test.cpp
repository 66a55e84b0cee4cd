// Path arguments are bytes on POSIX: a name that is not UTF-8 must reach exactly that file,
// never a look-alike with U+FFFD in its place.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "storage/version_state.h"
#include "support/program_runner.h"
#include "support/state_files.h"
#include "support/temp_dir.h"
#include "support/tree_compare.h"

namespace tallybell {
namespace {

namespace fs = std::filesystem;
using namespace 测试;

const std::string 非UTF8 = "\xff\xc3(";     // a lone 0xFF, then a lead byte without its tail
const std::string 替换形 = "\xef\xbf\xbd\xef\xbf\xbd(";  // what a lossy decoding makes of it

struct 参数场景 {
  const char* 名称;
  std::string 程序;
  std::vector<std::string> 参数;  // "@" stands for the test directory
  std::string 应出现;            // relative to the test directory
};

TEST(参数字节, 非UTF8路径参数原样使用而不换成别的路径) {
  const std::vector<参数场景> 场景表 = {
      {"offline preparation, state and program roots",
       "",
       {"--offline-fixture", "@/fixture", "--prepare-release", "r1", "--program-root", "@/p" + 非UTF8,
        "--state-root", "@/s" + 非UTF8},
       "p" + 非UTF8 + "/releases/r1/Tallybell.exe"},
      {"publishing tool, content folder", TALLYBELL_PUBLISH_PROGRAM, {"verify", "--content", "@/c" + 非UTF8}, ""},
  };
  for (const auto& 场景 : 场景表) {
    测试临时目录 目录;
    const fs::path 根 = 目录.路径();
    写目录树(根 / "fixture" / "releases" / "r1", {{"Tallybell.exe", "exe"}, {"complete.json", "{}"}});
    fs::create_directories(根 / ("c" + 非UTF8) / "objects");
    fs::create_directories(根 / ("c" + 非UTF8) / "releases");
    本地版本状态 状态;
    状态.generation = 1;
    写状态文件(根 / ("s" + 非UTF8), 状态);
    std::vector<std::string> 参数;
    for (auto 项 : 场景.参数) {
      if (项[0] == '@') 项 = 根.string() + 项.substr(1);
      参数.push_back(项);
    }
    const auto 结果 = 场景.程序.empty() ? 运行更新程序(参数) : 运行程序(场景.程序, 参数);
    ASSERT_TRUE(结果.已运行) << 场景.名称;
    EXPECT_EQ(结果.退出码, 0u) << 场景.名称 << ": " << 结果.输出;
    if (!场景.应出现.empty()) {
      EXPECT_TRUE(fs::exists(根 / 场景.应出现)) << 场景.名称;
    }
    for (const char* 前缀 : {"p", "s", "c"}) EXPECT_FALSE(fs::exists(根 / (前缀 + 替换形))) << 场景.名称;
  }
}

}  // namespace
}  // namespace tallybell
