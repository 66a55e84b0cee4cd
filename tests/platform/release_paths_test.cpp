// Release file paths that one file system takes and the other does not: names Windows
// treats as devices or trims, refused alike on both builds. (That a manifest naming a
// device ends in 3009 before anything is written is shown by the assembly tests; that paths
// far beyond the old 260-character limit of Windows install alike on both, by the named
// lock tests' run of the built program.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "documents/manifest.h"

namespace tallybell {
namespace {

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

}  // namespace
}  // namespace tallybell
