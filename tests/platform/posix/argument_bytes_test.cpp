// Path arguments are bytes on POSIX: a name that is not UTF-8 must reach exactly that file,
// never a look-alike with U+FFFD in its place.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "storage/version_state.h"
#include "support/program_runner.h"
#include "support/state_files.h"
#include "support/temp_dir.h"
#include "support/tree_compare.h"

namespace tallybell {
namespace {

namespace fs = std::filesystem;
using namespace 测试;

const std::string 非UTF8 = "\xff\xc3(";                  // a lone 0xFF, then a lead byte without its tail
const std::string 替换形 = "\xef\xbf\xbd\xef\xbf\xbd(";  // what a lossy decoding makes of it

// The offline preparation with its state and program roots, and the publishing tool with
// its content folder, each given a non-UTF-8 name.
TEST(参数字节, 非UTF8路径参数原样使用而不换成别的路径) {
  测试临时目录 目录;
  const fs::path 根 = 目录.路径();
  写目录树(根 / "fixture" / "releases" / "r1", {{"Tallybell.exe", "exe"}, {"complete.json", "{}"}});
  fs::create_directories(根 / ("c" + 非UTF8) / "objects");
  fs::create_directories(根 / ("c" + 非UTF8) / "releases");
  本地版本状态 状态;
  状态.generation = 1;
  写状态文件(根 / ("s" + 非UTF8), 状态);
  const auto 准备 = 运行更新程序({"--offline-fixture", (根 / "fixture").string(), "--prepare-release", "r1",
                                   "--program-root", (根 / ("p" + 非UTF8)).string(), "--state-root",
                                   (根 / ("s" + 非UTF8)).string()});
  EXPECT_EQ(准备.退出码, 0u) << 准备.输出;
  EXPECT_TRUE(fs::exists(根 / ("p" + 非UTF8) / "releases/r1/Tallybell.exe"));
  const auto 校验 = 运行程序(TALLYBELL_PUBLISH_PROGRAM, {"verify", "--content", (根 / ("c" + 非UTF8)).string()});
  EXPECT_EQ(校验.退出码, 0u) << 校验.输出;
  for (const char* 前缀 : {"p", "s", "c"}) EXPECT_FALSE(fs::exists(根 / (前缀 + 替换形))) << 前缀;
}

}  // namespace
}  // namespace tallybell
