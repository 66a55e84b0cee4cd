// The diagnostic channel's mapping and mutex, created here the way the application does.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
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

TEST(WindowsDiagnosticMemory, OpensTheApplicationsChannelAndSharesItsMemory) {
  const std::string 标识 = 新标识();
  应用端通道 应用(标识, 诊断视图字节数, true);
  ASSERT_NE(应用.映射, nullptr);
  ASSERT_NE(应用.锁, nullptr);
  auto* 应用视图 = static_cast<unsigned char*>(::MapViewOfFile(应用.映射, FILE_MAP_ALL_ACCESS, 0, 0, 0));
  ASSERT_NE(应用视图, nullptr);

  诊断共享内存 通道;
  通道.打开(标识);
  EXPECT_TRUE(通道.有映射());
  EXPECT_TRUE(通道.有锁());
  ASSERT_NE(通道.视图(), nullptr);
  ASSERT_EQ(通道.加锁(200), 加锁结果::取得);
  // Both ends of the view, written by the update core, are seen by the application.
  std::memcpy(通道.视图() + 8, "line", 4);
  通道.视图()[诊断视图字节数 - 1] = 0x5A;
  通道.解锁();
  EXPECT_EQ(std::memcmp(应用视图 + 8, "line", 4), 0);
  EXPECT_EQ(应用视图[诊断视图字节数 - 1], 0x5A);

  通道.关闭();
  EXPECT_FALSE(通道.有映射());
  EXPECT_FALSE(通道.有锁());
  EXPECT_EQ(通道.视图(), nullptr);
  EXPECT_EQ(通道.加锁(0), 加锁结果::错误);
  ::UnmapViewOfFile(应用视图);
}

TEST(WindowsDiagnosticMemory, NothingIsCreatedWhenTheApplicationMadeNoChannel) {
  const std::string 标识 = 新标识();
  {
    诊断共享内存 通道;
    通道.打开(标识);
    EXPECT_FALSE(通道.有映射());
    EXPECT_FALSE(通道.有锁());
    EXPECT_EQ(通道.视图(), nullptr);
    EXPECT_EQ(通道.加锁(0), 加锁结果::错误);
    通道.解锁();  // harmless without a lock
  }
  // Opening must not have created the objects behind the application's back.
  EXPECT_EQ(::OpenFileMappingW(FILE_MAP_READ, FALSE, 诊断映射名称(标识).c_str()), nullptr);
  EXPECT_EQ(::OpenMutexW(SYNCHRONIZE, FALSE, (诊断映射名称(标识) + L".Lock").c_str()), nullptr);
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

DWORD WINAPI 取锁后退出(void* 参数) {
  // Takes the mutex and ends without releasing it, which abandons it.
  ::WaitForSingleObject(static_cast<HANDLE>(参数), INFINITE);
  return 0;
}

TEST(WindowsDiagnosticMemory, AnAbandonedLockCountsAsTaken) {
  const std::string 标识 = 新标识();
  应用端通道 应用(标识, 诊断视图字节数, true);
  ASSERT_NE(应用.锁, nullptr);
  HANDLE 线程 = ::CreateThread(nullptr, 0, 取锁后退出, 应用.锁, 0, nullptr);
  ASSERT_NE(线程, nullptr);
  ASSERT_EQ(::WaitForSingleObject(线程, 5000), WAIT_OBJECT_0);
  ::CloseHandle(线程);

  诊断共享内存 通道;
  通道.打开(标识);
  ASSERT_NE(通道.视图(), nullptr);
  EXPECT_EQ(通道.加锁(200), 加锁结果::取得);
  通道.解锁();
  // Released properly now: the application can take it at once.
  EXPECT_EQ(::WaitForSingleObject(应用.锁, 0), WAIT_OBJECT_0);
  ::ReleaseMutex(应用.锁);
}

struct 持锁线程参数 {
  HANDLE 锁;
  HANDLE 已持有;
  HANDLE 放开;
};

DWORD WINAPI 持锁直到放开(void* 参数) {
  auto* p = static_cast<持锁线程参数*>(参数);
  ::WaitForSingleObject(p->锁, INFINITE);
  ::SetEvent(p->已持有);
  ::WaitForSingleObject(p->放开, INFINITE);
  ::ReleaseMutex(p->锁);
  return 0;
}

TEST(WindowsDiagnosticMemory, ALockHeldElsewhereTimesOut) {
  const std::string 标识 = 新标识();
  应用端通道 应用(标识, 诊断视图字节数, true);
  ASSERT_NE(应用.锁, nullptr);
  持锁线程参数 参数{应用.锁, ::CreateEventW(nullptr, TRUE, FALSE, nullptr),
                    ::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  HANDLE 线程 = ::CreateThread(nullptr, 0, 持锁直到放开, &参数, 0, nullptr);
  ASSERT_NE(线程, nullptr);
  ASSERT_EQ(::WaitForSingleObject(参数.已持有, 5000), WAIT_OBJECT_0);

  诊断共享内存 通道;
  通道.打开(标识);
  const ULONGLONG 开始 = ::GetTickCount64();
  EXPECT_EQ(通道.加锁(100), 加锁结果::超时);
  // Timer granularity is 10 to 16 ms; the wait must not end early by more than that.
  EXPECT_GE(::GetTickCount64() - 开始, 80u);

  ::SetEvent(参数.放开);
  ::WaitForSingleObject(线程, 5000);
  EXPECT_EQ(通道.加锁(200), 加锁结果::取得);
  通道.解锁();
  ::CloseHandle(线程);
  ::CloseHandle(参数.已持有);
  ::CloseHandle(参数.放开);
}

}  // namespace
}  // namespace tallybell::platform
