#include "common/time_text.h"

#include <gtest/gtest.h>

#include "common/guid_text.h"

namespace tallybell {
namespace {

TEST(UTC时间, 已知时刻的往返) {
  struct 用例 {
    UTC时刻 时刻;
    std::uint64_t 值;
    const char* 文本;
  };
  const 用例 用例表[] = {
      {{1601, 1, 1, 0, 0, 0}, 0, "1601-01-01T00:00:00Z"},
      {{1970, 1, 1, 0, 0, 0}, 116444736000000000ULL, "1970-01-01T00:00:00Z"},
      {{2000, 2, 29, 23, 59, 59}, 125963423990000000ULL, "2000-02-29T23:59:59Z"},
      {{9999, 12, 31, 23, 59, 59}, 2650467743990000000ULL, "9999-12-31T23:59:59Z"},
  };
  for (const auto& 项 : 用例表) {
    std::uint64_t 值 = 0;
    ASSERT_TRUE(合成UTC时间(项.时刻, &值)) << 项.文本;
    EXPECT_EQ(值, 项.值) << 项.文本;
    EXPECT_EQ(格式化UTC时间(项.值), 项.文本);
    const UTC时刻 回来 = 分解UTC时间(项.值 + 9999999);  // sub-second parts are dropped
    EXPECT_EQ(回来.年, 项.时刻.年);
    EXPECT_EQ(回来.日, 项.时刻.日);
    EXPECT_EQ(回来.秒, 项.时刻.秒);
  }
}

TEST(UTC时间, 拒绝不可能的日期和范围外的年份) {
  const UTC时刻 无效[] = {
      {1600, 12, 31, 0, 0, 0}, {10000, 1, 1, 0, 0, 0}, {2026, 13, 1, 0, 0, 0}, {2026, 0, 1, 0, 0, 0},
      {2026, 4, 31, 0, 0, 0},  {1900, 2, 29, 0, 0, 0}, {2026, 1, 1, 24, 0, 0}, {2026, 1, 1, 0, 60, 0},
      {2026, 1, 1, 0, 0, 60},  {2026, 1, 0, 0, 0, 0},
  };
  for (const auto& 时刻 : 无效) {
    std::uint64_t 值 = 42;
    EXPECT_FALSE(合成UTC时间(时刻, &值)) << 时刻.年 << "-" << 时刻.月 << "-" << 时刻.日;
    EXPECT_EQ(值, 42u);
  }
}

TEST(GUID文本, 注册表形式为大写带括号) {
  GUID值 值;
  值.数据1 = 0x0A1B2C3D;
  值.数据2 = 0x4E5F;
  值.数据3 = 0x0607;
  const std::uint8_t 尾[8] = {0x89, 0xAB, 0xCD, 0xEF, 0x01, 0x23, 0x45, 0x67};
  std::copy(尾, 尾 + 8, 值.数据4);
  EXPECT_EQ(GUID注册表形式(值), L"{0A1B2C3D-4E5F-0607-89AB-CDEF01234567}");
}

}  // namespace
}  // namespace tallybell
