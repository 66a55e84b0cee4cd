// The Windows side of the diagnostic channel: the kernel object names, and channels the
// application could have made wrong (no lock, a mapping smaller than the view).
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "platform/diagnostic_memory.h"
#include "platform/windows/windows_test_support.h"

namespace tallybell::platform {
namespace {

// A channel id that no other test or process uses.
std::string 新标识() {
  std::wstring 文本 = 测试::新GUID文本();
  return std::string(文本.begin(), 文本.end());
}

// What the application creates: a pagefile-backed mapping and an unowned mutex.
struct 应用端通道 {
  HANDLE 映射 = nullptr;
  HANDLE 锁 = nullptr;

  应用端通道(const std::string& 标识, DWORD 映射字节数, bool 建锁) {
    const std::wstring 名称 = 诊断映射名称(标识);
    映射 = ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 映射字节数, 名称.c_str());
    if (建锁) 锁 = ::CreateMutexW(nullptr, FALSE, (名称 + L".Lock").c_str());
  }
  ~应用端通道() {
    if (锁 != nullptr) ::CloseHandle(锁);
    if (映射 != nullptr) ::CloseHandle(映射);
  }
  应用端通道(const 应用端通道&) = delete;
  应用端通道& operator=(const 应用端通道&) = delete;
};

TEST(WindowsDiagnosticMemory, MappingNameIsTheLocalNamespaceName) {
  EXPECT_EQ(诊断映射名称("abc-DEF-123"), L"Local\\Tallybell.UpdateDiagnostic.abc-DEF-123");
  EXPECT_EQ(诊断映射名称(""), L"Local\\Tallybell.UpdateDiagnostic.");
}

TEST(WindowsDiagnosticMemory, NoViewWithoutTheLockOrWithATooSmallMapping) {
  const std::string 只有映射 = 新标识();
  应用端通道 应用一(只有映射, 诊断视图字节数, false);
  ASSERT_NE(应用一.映射, nullptr);
  诊断共享内存 通道;
  通道.打开(只有映射);
  EXPECT_TRUE(通道.有映射());
  EXPECT_FALSE(通道.有锁());
  EXPECT_EQ(通道.视图(), nullptr);

  const std::string 太小 = 新标识();
  应用端通道 应用二(太小, 4096, true);
  ASSERT_NE(应用二.映射, nullptr);
  通道.打开(太小);  // reopening closes the previous channel first
  EXPECT_TRUE(通道.有映射());
  EXPECT_TRUE(通道.有锁());
  EXPECT_EQ(通道.视图(), nullptr);
}

}  // namespace
}  // namespace tallybell::platform
