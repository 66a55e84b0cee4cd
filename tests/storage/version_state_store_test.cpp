// The local version state on disk: paths, loading one file, the choice between main and
// backup by generation, and saving.
#include "storage/version_state.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/paths.h"
#include "storage/version_state_test_support.h"
#include "support/fault_injection.h"
#include "support/file_helpers.h"
#include "support/temp_dir.h"

namespace tallybell {
namespace {

using 测试::完整记录;
using 测试::读测试文件;
using 测试::写测试文件;

std::string 第几代(std::uint64_t 代次) { return 序列化本地版本状态(完整记录(代次)); }

class 本地版本状态存储 : public ::testing::Test {
 protected:
  std::filesystem::path 主文件() const { return 目录_.子路径("state.txt"); }
  std::filesystem::path 备份文件() const { return 目录_.子路径("state.txt.bak"); }
  std::wstring 根() const { return 目录_.宽路径(); }

  测试::测试临时目录 目录_;
};

TEST_F(本地版本状态存储, 路径) {
  const std::wstring 分隔(1, platform::路径分隔符);
  const 本地版本状态路径 路径 = 取本地版本状态路径(L"root");
  EXPECT_EQ(路径.主文件, L"root" + 分隔 + L"state.txt");
  EXPECT_EQ(路径.备份文件, L"root" + 分隔 + L"state.txt.bak");
  EXPECT_EQ(取本地版本状态路径(L"root" + 分隔).主文件, L"root" + 分隔 + L"state.txt");
  EXPECT_EQ(取本地版本状态路径(根()).主文件, 目录_.宽路径("state.txt"));
}

TEST_F(本地版本状态存储, 加载单个文件) {
  std::string 文本 = "stale";
  std::uint64_t 代次 = 99;
  EXPECT_FALSE(加载单个本地版本状态(目录_.宽路径("state.txt"), &文本, &代次));

  写测试文件(主文件(), 第几代(12));
  ASSERT_TRUE(加载单个本地版本状态(目录_.宽路径("state.txt"), &文本, &代次));
  EXPECT_EQ(文本, 第几代(12));
  EXPECT_EQ(代次, 12u);

  写测试文件(主文件(), "stateVersion=1\nactiveRelease=a\n");
  ASSERT_TRUE(加载单个本地版本状态(目录_.宽路径("state.txt"), &文本, &代次));
  EXPECT_EQ(代次, 0u);
  EXPECT_EQ(文本, "stateVersion=1\nactiveRelease=a\n");

  写测试文件(主文件(), 第几代(12) + "x");
  EXPECT_FALSE(加载单个本地版本状态(目录_.宽路径("state.txt"), &文本, &代次));
  // Beyond the 64 MiB read limit (a sparse file of zero bytes).
  写测试文件(主文件(), "");
  std::filesystem::resize_file(主文件(), 67108865);
  EXPECT_FALSE(加载单个本地版本状态(目录_.宽路径("state.txt"), &文本, &代次));
  EXPECT_FALSE(加载单个本地版本状态(根(), &文本, &代次));  // a directory
}

TEST_F(本地版本状态存储, 按代次选择) {
  const std::string 损坏 = "{\"generation\":100";
  const std::string 版本1 = "stateVersion=1\nactiveRelease=v1\n";
  struct 用例 {
    const char* 说明;
    std::string 主;    // empty: no file
    std::string 备份;  // empty: no file
    bool 选主;
  };
  const 用例 用例表[] = {
      {"backup newer", 第几代(7), 第几代(8), false},
      {"equal generations", 第几代(8), 第几代(8), true},
      {"main newer", 第几代(9), 第几代(8), true},
      {"only main", 第几代(3), "", true},
      {"only backup", "", 第几代(3), false},
      {"main corrupt", 损坏, 第几代(2), false},
      {"backup corrupt", 第几代(2), 损坏, true},
      {"version 1 main, version 2 backup", 版本1, 第几代(1), false},
      {"version 1 main alone", 版本1, "", true},
      {"version 1 main, corrupt backup", 版本1, 损坏, true},
  };
  for (const 用例& 例 : 用例表) {
    std::filesystem::remove(主文件());
    std::filesystem::remove(备份文件());
    if (!例.主.empty()) 写测试文件(主文件(), 例.主);
    if (!例.备份.empty()) 写测试文件(备份文件(), 例.备份);

    std::string 文本;
    本地版本状态 状态;
    ASSERT_TRUE(加载本地版本状态(根(), &文本, &状态)) << 例.说明;
    const std::string& 期望文本 = 例.选主 ? 例.主 : 例.备份;
    EXPECT_EQ(文本, 期望文本) << 例.说明;
    本地版本状态 期望;
    ASSERT_TRUE(解析本地版本状态(期望文本, &期望));
    测试::期望记录相同(状态, 期望);
  }
}

TEST_F(本地版本状态存储, 没有可用状态) {
  std::string 文本 = "untouched";
  本地版本状态 状态 = 完整记录(5);
  EXPECT_FALSE(加载本地版本状态(根(), &文本, &状态));
  写测试文件(主文件(), "garbage");
  // A checksum failure counts like a missing file.
  std::string 篡改 = 第几代(4);
  篡改.replace(篡改.find("1.0.0"), 5, "6.6.6");
  写测试文件(备份文件(), 篡改);
  EXPECT_FALSE(加载本地版本状态(根(), &文本, &状态));
  EXPECT_EQ(文本, "untouched");
  EXPECT_EQ(状态.generation, 5u);
  EXPECT_FALSE(加载本地版本状态(目录_.宽路径("missing-root"), &文本, &状态));
}

TEST_F(本地版本状态存储, 暂时读不出的文件不让较旧的一份顶替) {
  // Main holds generation 5, the backup 4: a main that cannot be read this time must not
  // hand out generation 4, or the next save would drop what generation 5 recorded.
  for (const char* 调用 : {"打开", "读取"}) {
    写测试文件(主文件(), 第几代(5));
    写测试文件(备份文件(), 第几代(4));
    std::string 文本 = "untouched";
    本地版本状态 状态;
    {
      测试::文件故障注入 故障{std::string(调用)};
      EXPECT_FALSE(加载本地版本状态(根(), &文本, &状态)) << 调用;
      EXPECT_TRUE(故障.已注入()) << 调用;
    }
    EXPECT_EQ(文本, "untouched");
    ASSERT_TRUE(加载本地版本状态(根(), &文本, &状态));
    EXPECT_EQ(状态.generation, 5u);
  }
}

TEST_F(本地版本状态存储, 保存与再加载) {
  const std::wstring 主 = 目录_.宽路径("sub/dir/state.txt");
  const std::wstring 备份 = 目录_.宽路径("sub/dir/state.txt.bak");
  ASSERT_TRUE(保存本地版本状态(主, 备份, 第几代(1)));  // parents are created
  EXPECT_EQ(读测试文件(目录_.子路径("sub/dir/state.txt")), 第几代(1));
  EXPECT_FALSE(std::filesystem::exists(目录_.子路径("sub/dir/state.txt.bak")));

  // Load, modify, increment, save: the previous main becomes the backup.
  for (std::uint64_t 代次 = 2; 代次 <= 4; ++代次) {
    std::string 文本;
    本地版本状态 状态;
    ASSERT_TRUE(加载本地版本状态(目录_.宽路径("sub/dir"), &文本, &状态));
    EXPECT_EQ(状态.generation, 代次 - 1);
    ASSERT_TRUE(递增代次(&状态));
    ASSERT_TRUE(保存本地版本状态(主, 备份, 序列化本地版本状态(状态)));
    EXPECT_EQ(读测试文件(目录_.子路径("sub/dir/state.txt")), 第几代(代次));
    EXPECT_EQ(读测试文件(目录_.子路径("sub/dir/state.txt.bak")), 第几代(代次 - 1));
  }
}

TEST_F(本地版本状态存储, 拒绝保存不可读的文本) {
  写测试文件(主文件(), 第几代(3));
  const std::wstring 主 = 目录_.宽路径("state.txt");
  const std::wstring 备份 = 目录_.宽路径("state.txt.bak");
  std::string 带NUL = 第几代(4);
  带NUL.push_back('\0');
  std::string 篡改 = 第几代(4);
  篡改.replace(篡改.find("1.0.0"), 5, "6.6.6");
  for (const std::string& 文本 : {带NUL, 篡改, std::string(), std::string("{}"),
                                  std::string("stateVersion=1\r\n")}) {
    EXPECT_FALSE(保存本地版本状态(主, 备份, 文本));
  }
  EXPECT_EQ(读测试文件(主文件()), 第几代(3));
  EXPECT_FALSE(std::filesystem::exists(备份文件()));

  // A version 1 text parses, so it may be saved as it is.
  EXPECT_TRUE(保存本地版本状态(主, 备份, "stateVersion=1\nactiveRelease=a\n"));
  EXPECT_EQ(读测试文件(备份文件()), 第几代(3));
}

TEST_F(本地版本状态存储, 写入失败时主文件保持原样) {
  写测试文件(主文件(), 第几代(3));
  {
    测试::文件故障注入 故障("写入");
    EXPECT_FALSE(保存本地版本状态(目录_.宽路径("state.txt"), 目录_.宽路径("state.txt.bak"),
                                  第几代(4)));
    EXPECT_TRUE(故障.已注入());
  }
  EXPECT_EQ(读测试文件(主文件()), 第几代(3));
  EXPECT_EQ(测试::目录内容(目录_.路径()), std::vector<std::string>{"state.txt"});
}

}  // namespace
}  // namespace tallybell
