// The read-only version 1 text form of the local version state.
#include "storage/version_state_v1.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "storage/version_state.h"
#include "storage/version_state_test_support.h"

namespace tallybell {
namespace {

using 列表 = std::vector<std::wstring>;

本地版本状态 必须解析(const std::string& 文本) {
  本地版本状态 状态;
  EXPECT_TRUE(解析本地版本状态(文本, &状态)) << 文本;
  return 状态;
}

TEST(本地版本状态版本1, 字段与列表) {
  const 本地版本状态 状态 = 必须解析(
      "stateVersion=1\n"
      "activeRelease=1.0.0\n"
      "lastGoodRelease = 0.9.0 \r\n"
      "\tpendingRelease\t=\t1.1.0\t\n"
      "attemptingRelease=\n"
      "rescueRelease=0.8.0\n"
      "legacyInstallPath=C:\\Old Tallybell\\\xE6\x97\xA7=x\n"
      "confirmedHistory=0.8.0,0.9.0\n"
      "quarantined=a, ,b\n"
      "quarantined= c ,,\r\n"
      "generation=5\n"
      "policyVersion=9\n"
      "stateVersion=2\n"
      "a line without an equals sign\n"
      "\n"
      "unknownKey=whatever\n"
      "activeRelease=1.0.1");  // the last line needs no line feed; later lines win
  本地版本状态 期望;
  期望.activeRelease = L"1.0.1";
  期望.lastGoodRelease = L"0.9.0";
  期望.pendingRelease = L"1.1.0";
  期望.rescueRelease = L"0.8.0";
  期望.legacyInstallPath = L"C:\\Old Tallybell\\\u65e7=x";
  期望.confirmedHistory = {L"0.8.0", L"0.9.0"};
  期望.quarantined = {L"a", L"b", L"c"};
  测试::期望记录相同(状态, 期望);  // generation, policy and counters keep their defaults
}

TEST(本地版本状态版本1, 前缀必须完全一致) {
  测试::期望记录相同(必须解析("stateVersion=1\n"), 本地版本状态{});
  EXPECT_TRUE(是版本1文本("stateVersion=1\nx"));
  for (const std::string& 文本 :
       {std::string("stateVersion=1"), std::string("stateVersion=1\r\nactiveRelease=a\n"),
        std::string(" stateVersion=1\n"), std::string("stateversion=1\n"),
        std::string("\xEF\xBB\xBFstateVersion=1\n"), std::string("stateVersion = 1\n")}) {
    EXPECT_FALSE(是版本1文本(文本)) << 文本;
    本地版本状态 状态;
    EXPECT_FALSE(解析本地版本状态(文本, &状态)) << 文本;
  }
}

TEST(本地版本状态版本1, 无效UTF8) {
  // Any line with '=' must have a valid value, whatever its key.
  for (const char* 行 : {"activeRelease=\xFF", "unknown=\xC3", "quarantined=a,\xED\xA0\x80",
                         "stateVersion=\xC0\xAF"}) {
    本地版本状态 状态 = 测试::完整记录();
    EXPECT_FALSE(解析本地版本状态(std::string("stateVersion=1\n") + 行 + "\n", &状态)) << 行;
    EXPECT_EQ(状态.generation, 7u);  // untouched
  }
  // A line without '=' is ignored even when it is not UTF-8, and so is an invalid key.
  EXPECT_EQ(必须解析("stateVersion=1\n\xFF\xFE\nactiveRelease=a").activeRelease, L"a");
  EXPECT_EQ(必须解析("stateVersion=1\n\xFF=a\n").activeRelease, L"");
}

TEST(本地版本状态版本1, 重新保存为版本2) {
  本地版本状态 状态 = 必须解析("stateVersion=1\nactiveRelease=1.0\nquarantined=x\n");
  EXPECT_EQ(状态.generation, 0u);
  ASSERT_TRUE(递增代次(&状态));
  本地版本状态 版本2;
  ASSERT_TRUE(解析本地版本状态(序列化本地版本状态(状态), &版本2));
  EXPECT_EQ(版本2.generation, 1u);
  EXPECT_EQ(版本2.activeRelease, L"1.0");
  EXPECT_EQ(版本2.quarantined, 列表{L"x"});
  EXPECT_EQ(版本2.preservedFields, "{}");
}

}  // namespace
}  // namespace tallybell
