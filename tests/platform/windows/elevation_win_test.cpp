// Token elevation and the elevated re-launch on Windows.
#include <gtest/gtest.h>

#include <windows.h>

#include "platform/elevation.h"
#include "platform/windows/windows_test_support.h"

namespace tallybell::platform {
namespace {

// The Administrators group is enabled in a token only when it is elevated (a filtered
// UAC token carries it for deny only), so membership implies elevation.
bool 管理员组已启用() {
  SID_IDENTIFIER_AUTHORITY 机构 = SECURITY_NT_AUTHORITY;
  PSID 管理员 = nullptr;
  if (!::AllocateAndInitializeSid(&机构, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0,
                                  0, 0, &管理员)) {
    return false;
  }
  BOOL 是成员 = FALSE;
  if (!::CheckTokenMembership(nullptr, 管理员, &是成员)) 是成员 = FALSE;
  ::FreeSid(管理员);
  return 是成员 != FALSE;
}

TEST(WindowsElevation, AnEnabledAdministratorsGroupMeansElevated) {
  if (!管理员组已启用()) GTEST_SKIP() << "not running as an administrator";
  EXPECT_TRUE(已提升权限());
}

TEST(WindowsElevation, RelaunchRelaysTheChildsFullExitCode) {
  // Elevated already, "runas" starts the child without a consent prompt (Wine 8 reports
  // every token as elevated).
  if (!已提升权限()) GTEST_SKIP() << "not elevated: re-launching would ask for consent";
  // The test program's entry answers this option by exiting with the given code.
  const 重新启动结果 结果 = 提升权限重新启动(L"\"--tallybell-test-exit-code\" \"3017\"");
  ASSERT_TRUE(结果.已启动) << "system error " << 结果.系统错误;
  ASSERT_TRUE(结果.有退出码);
  EXPECT_EQ(结果.退出码, 3017u);
}

}  // namespace
}  // namespace tallybell::platform
