#include "storage/directories.h"

#include <gtest/gtest.h>

#include "platform/paths.h"

namespace tallybell {
namespace {

const std::wstring 分隔(1, platform::路径分隔符);
// The other separator, which Join does not treat as trailing.
const std::wstring 另一分隔 = platform::路径分隔符 == L'/' ? L"\\" : L"/";

TEST(连接路径, 只认平台分隔符为结尾) {
  EXPECT_EQ(连接路径(L"D" + 分隔, L"x"), L"D" + 分隔 + L"x");
  EXPECT_EQ(连接路径(L"D" + 另一分隔, L"x"), L"D" + 另一分隔 + 分隔 + L"x");
  EXPECT_EQ(连接路径(L"D", L"x"), L"D" + 分隔 + L"x");
  EXPECT_EQ(连接路径(L"", L"x"), L"");
}

TEST(父目录, 取最后一个任一分隔符之前的部分) {
  EXPECT_EQ(父目录(L"C:\\Data\\state.txt"), L"C:\\Data");
  EXPECT_EQ(父目录(L"/var/lib/x"), L"/var/lib");
  EXPECT_EQ(父目录(L"a/b\\c"), L"a/b");
  EXPECT_EQ(父目录(L"state.txt"), L"");
}

TEST(发布标识有效, 只接受安全的单个路径段) {
  const std::wstring 合法[] = {L"1.2.3_beta-4", L"a", std::wstring(64, L'z'), L"..."};
  for (const auto& 标识 : 合法) EXPECT_TRUE(发布标识有效(标识)) << 标识.size();
  const std::wstring 非法[] = {L"", L".", L"..", L"a/b", L"a\\b", L"a b", L"\u7248\u672c",
                               std::wstring(65, L'z'), L"a:b", std::wstring(L"a\0b", 3)};
  for (const auto& 标识 : 非法) EXPECT_FALSE(发布标识有效(标识)) << 标识.size();
}

TEST(默认目录, 由两个基础文件夹推出三个根) {
  默认目录 目录;
  ASSERT_TRUE(由基础文件夹计算默认目录(L"P", L"D", &目录));
  EXPECT_EQ(目录.programRoot, L"P" + 分隔 + L"Tallybell");
  EXPECT_EQ(目录.stateRoot, L"D" + 分隔 + L"Tallybell");
  EXPECT_EQ(目录.cacheRoot, 目录.stateRoot + 分隔 + L"cache" + 分隔 + L"objects" + 分隔 + L"sha256");
  EXPECT_EQ(状态根下的缓存目录(L"S"), L"S" + 分隔 + L"cache" + 分隔 + L"objects" + 分隔 + L"sha256");

  EXPECT_FALSE(由基础文件夹计算默认目录(L"", L"D", &目录));
  EXPECT_TRUE(目录.programRoot.empty() && 目录.stateRoot.empty() && 目录.cacheRoot.empty());
  EXPECT_FALSE(由基础文件夹计算默认目录(L"P", L"", &目录));
}

TEST(默认目录, 本机文件夹可用) {
  默认目录 目录;
  ASSERT_TRUE(取默认目录(&目录));
  EXPECT_NE(目录.programRoot.find(L"Tallybell"), std::wstring::npos);
  EXPECT_EQ(目录.cacheRoot.rfind(目录.stateRoot, 0), 0u);
}

}  // namespace
}  // namespace tallybell
