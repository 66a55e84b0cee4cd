#include "app/arguments.h"

#include <gtest/gtest.h>

namespace tallybell {
namespace {

TEST(命令行参数, 标志匹配整个参数且区分大小写) {
  const 命令行参数 命令({L"--force-check", L"--Recover-unusable-state", L"--state-root=x"});
  EXPECT_TRUE(命令.有标志(L"--force-check"));
  EXPECT_FALSE(命令.有标志(L"--recover-unusable-state"));
  EXPECT_FALSE(命令.有标志(L"--state-root"));
  EXPECT_FALSE(命令.有标志(L"--force"));
}

TEST(命令行参数, 值选项取第一次出现且值原样保留) {
  const 命令行参数 命令({L"--state-root", L"--program-root", L"--state-root", L"B", L"--program-root"});
  // The value of the first --state-root is taken verbatim even though it looks like an option.
  EXPECT_EQ(命令.值(L"--state-root"), std::optional<std::wstring>(L"--program-root"));
  // --program-root is matched first at index 1 (its value is "--state-root").
  EXPECT_EQ(命令.值(L"--program-root"), std::optional<std::wstring>(L"--state-root"));
  EXPECT_FALSE(命令.值(L"--cache-root").has_value());
}

TEST(命令行参数, 位于最后的值选项没有值) {
  const 命令行参数 命令({L"--offline-fixture", L"F", L"--prepare-release"});
  EXPECT_TRUE(命令.有标志(L"--prepare-release"));
  EXPECT_FALSE(命令.值(L"--prepare-release").has_value());
  EXPECT_EQ(命令.值(L"--offline-fixture"), std::optional<std::wstring>(L"F"));
}

TEST(命令行参数, 结果地址可重复且匹配的值不再当作选项) {
  const 命令行参数 命令({L"--result-url", L"--result-url", L"https://b", L"--result-url", L"https://c",
                         L"--result-url"});
  EXPECT_EQ(命令.结果地址(), (std::vector<std::wstring>{L"--result-url", L"https://c"}));
  EXPECT_TRUE(命令行参数({L"--report-result"}).结果地址().empty());
}

}  // namespace
}  // namespace tallybell
