#include "coordinator/installation_identity.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include "support/fault_injection.h"
#include "support/file_helpers.h"
#include "support/temp_dir.h"

namespace tallybell {
namespace {

namespace fs = std::filesystem;
using 测试::读测试文件;
using 测试::写测试文件;

const std::regex 小写GUID形状("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}");

class 设备安装标识 : public ::testing::Test {
 protected:
  fs::path 标识文件() const { return 目录_.子路径("state/installation-id.txt"); }
  fs::path 备份文件() const { return 目录_.子路径("state/installation-id.txt.bak"); }
  std::string 取得() {
    std::string 标识 = "untouched";
    EXPECT_TRUE(取得设备安装标识(目录_.宽路径(), &标识));
    return 标识;
  }

  测试::测试临时目录 目录_;
};

TEST_F(设备安装标识, 首次创建后保持不变) {
  const std::string 标识 = 取得();
  EXPECT_TRUE(std::regex_match(标识, 小写GUID形状)) << 标识;
  EXPECT_EQ(读测试文件(标识文件()), 标识 + "\n");
  EXPECT_FALSE(fs::exists(备份文件()));

  EXPECT_EQ(取得(), 标识);
  EXPECT_EQ(读测试文件(标识文件()), 标识 + "\n");
  EXPECT_FALSE(fs::exists(备份文件()));
}

TEST_F(设备安装标识, 无效内容被新标识替换并留在备份中) {
  const std::string 无效内容[] = {
      "0123ABCD-0000-FFFF-9999-ABCDEFABCDEF\n",  // upper case
      "0123abcd-0000-ffff-9999-abcdefabcde\n",   // 35 characters
      " 0123abcd-0000-ffff-9999-abcdefabcdef\n",  // leading blank
      "\xEF\xBB\xBF" "0123abcd-0000-ffff-9999-abcdefabcdef\n",  // byte order mark
      "0123abcd-0000-ffff-9999-abcdefabcdef \n",  // trailing blank is not trimmed
      "0123abcd-0000-ffff-9999-abcdefabcdeg\n",
      "",
  };
  for (const std::string& 内容 : 无效内容) {
    写测试文件(标识文件(), 内容);
    const std::string 标识 = 取得();
    EXPECT_TRUE(std::regex_match(标识, 小写GUID形状)) << 内容;
    EXPECT_EQ(读测试文件(标识文件()), 标识 + "\n");
    EXPECT_EQ(读测试文件(备份文件()), 内容);
  }
}

TEST_F(设备安装标识, 写入失败时不交出标识且文件与备份不变) {
  for (const char* 调用 : {"写入", "刷新", "替换并备份"}) {
    写测试文件(标识文件(), "invalid\n");
    写测试文件(备份文件(), "older\n");
    std::string 标识 = "untouched";
    {
      测试::文件故障注入 故障{std::string(调用)};
      EXPECT_FALSE(取得设备安装标识(目录_.宽路径(), &标识)) << 调用;
      EXPECT_TRUE(故障.已注入()) << 调用;
    }
    EXPECT_EQ(标识, "untouched");
    EXPECT_EQ(读测试文件(标识文件()), "invalid\n") << 调用;
    EXPECT_EQ(读测试文件(备份文件()), "older\n") << 调用;
    EXPECT_EQ(测试::目录内容(目录_.子路径("state")),
              (std::vector<std::string>{"installation-id.txt", "installation-id.txt.bak"}));
  }
}

TEST_F(设备安装标识, 暂时读不出的标识不被新标识替换) {
  // A new identity would make the service count this machine twice.
  const std::string 原标识 = 取得();
  for (const char* 调用 : {"打开", "读取"}) {
    std::string 标识 = "untouched";
    {
      测试::文件故障注入 故障{std::string(调用)};
      EXPECT_FALSE(取得设备安装标识(目录_.宽路径(), &标识)) << 调用;
      EXPECT_TRUE(故障.已注入()) << 调用;
    }
    EXPECT_EQ(标识, "untouched");
    EXPECT_EQ(读测试文件(标识文件()), 原标识 + "\n") << 调用;
    EXPECT_EQ(取得(), 原标识) << 调用;
  }
}

}  // namespace
}  // namespace tallybell
