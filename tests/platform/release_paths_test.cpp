// Release file paths that one file system takes and the other does not: names Windows
// treats as devices or trims, refused alike on both builds, and paths far beyond the old
// 260-character limit of Windows, installed alike on both. (That a manifest naming a device
// ends in 3009 before anything is written is shown by the assembly tests.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "documents/manifest.h"
#include "support/file_helpers.h"
#include "support/lock_namespace.h"
#include "support/program_runner.h"
#include "support/temp_dir.h"
#include "support/update_fixture.h"

namespace tallybell {
namespace {

using namespace 测试;

TEST(发布路径, Windows的设备名会被截去的结尾与过长路径在两个平台都不合规则) {
  for (const std::string& 路径 : std::vector<std::string>{"CON", "con.txt", "bin/NUL", "Aux.tar.gz", "prn", "COM1", "data/lpt9.log", "COM\xC2\xB9",
                                 "NUL .txt", "a.", "a ", "lib./x.dll", "a:b", "a/" + std::string(1023, 'n')}) {
    EXPECT_FALSE(是规范相对路径(路径)) << 路径;
  }
  for (const std::string& 路径 : std::vector<std::string>{"CONSOLE", "COM10", "LPT0", "com", "nul_", ".con", "xaux.txt", "a.b", "a b",
                                 "a/" + std::string(1022, 'n')}) {
    EXPECT_TRUE(是规范相对路径(路径)) << 路径;
  }
}

TEST(发布路径, 最深完整路径超过400字符的版本照常安装) {
  私有锁命名空间 锁空间;
  测试临时目录 目录;
  const std::string 段(60, 'd');
  const std::string 深路径 = 段 + "/" + 段 + "/" + 段 + "/" + 段 + "/" + 段 + "/" + 段 + "/deep.bin";
  写入更新夹具(目录.子路径("fixture"), 夹具策略{}, {{"Tallybell.exe", "exe"}, {深路径, "deep content"}});
  const 程序结果 结果 = 运行更新程序({"--background-check", "--offline-fixture", 目录.子路径("fixture").u8string(),
                                      "--program-root", 目录.子路径("program").u8string(), "--state-root",
                                      目录.子路径("state").u8string()});
  ASSERT_TRUE(结果.已运行);
  EXPECT_EQ(结果.退出码, 0u) << 结果.输出;
  const auto 深文件 = 目录.子路径("program/releases/r2") / std::filesystem::u8path(深路径);
  EXPECT_GT(深文件.wstring().size(), 400u);
  EXPECT_EQ(读测试文件(深文件), "deep content");
}

}  // namespace
}  // namespace tallybell
