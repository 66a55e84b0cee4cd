#include "platform/hresult_check.h"

#include <gtest/gtest.h>

namespace tallybell {
namespace {

TEST(检查HRESULT, 失败码写成无符号十进制) {
  std::wstring 错误;
  EXPECT_FALSE(检查HRESULT(static_cast<std::int32_t>(0x80070005u), L"注册后台更新任务", &错误));
  EXPECT_EQ(错误, L"注册后台更新任务失败，HRESULT=2147942405");
  EXPECT_FALSE(检查HRESULT(static_cast<std::int32_t>(0x80004001u), L"设置任务登录类型", &错误));
  EXPECT_EQ(错误, L"设置任务登录类型失败，HRESULT=2147500033");
  EXPECT_FALSE(检查HRESULT(-1, L"x", &错误));
  EXPECT_EQ(错误, L"x失败，HRESULT=4294967295");
  EXPECT_FALSE(检查HRESULT(static_cast<std::int32_t>(0x80000000u), L"x", nullptr));
}

TEST(检查HRESULT, 成功码包括S_FALSE并清除消息) {
  std::wstring 错误 = L"stale";
  EXPECT_TRUE(检查HRESULT(0, L"x", &错误));
  EXPECT_TRUE(错误.empty());
  错误 = L"stale";
  EXPECT_TRUE(检查HRESULT(1, L"x", &错误));  // S_FALSE
  EXPECT_TRUE(错误.empty());
  EXPECT_TRUE(检查HRESULT(0x7FFFFFFF, L"x", nullptr));
}

}  // namespace
}  // namespace tallybell
