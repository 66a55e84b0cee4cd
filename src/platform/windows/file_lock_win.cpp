#include "platform/file_lock.h"

#include <windows.h>

#include "platform/clock.h"
#include "platform/windows/handles_win.h"
#include "platform/windows/long_path_win.h"

namespace tallybell::platform {

struct 文件锁::状态 {
  windows::作用域句柄 句柄;
  std::wstring 路径;
  bool 持有 = false;
};

namespace {

bool 锁住(HANDLE 句柄, DWORD 标志) {
  OVERLAPPED 位置{};
  return ::LockFileEx(句柄, 标志, 0, 1, 0, &位置) != FALSE;
}

void 放开(HANDLE 句柄) {
  OVERLAPPED 位置{};
  ::UnlockFileEx(句柄, 0, 1, 0, &位置);
}

}  // namespace

文件锁::文件锁() : 状态_(std::make_unique<状态>()) {}

文件锁::~文件锁() {
  if (状态_->持有) 放开(状态_->句柄.get());
}

bool 文件锁::打开或创建(const std::wstring& 路径) {
  状态_ = std::make_unique<状态>();
  if (路径.empty()) return false;
  // Others may open it (that is how they wait for the lock) and a holder may delete it; the
  // reparse-point flag opens a link itself, which is then refused below.
  windows::作用域句柄 句柄(::CreateFileW(windows::长路径形式(路径).c_str(), GENERIC_READ | GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION 信息{};
  if (!句柄 || !::GetFileInformationByHandle(句柄.get(), &信息) ||
      (信息.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
    return false;
  }
  状态_->句柄 = std::move(句柄);
  状态_->路径 = 路径;
  return true;
}

加锁结果 文件锁::加锁(std::uint32_t 毫秒) {
  if (!状态_->句柄) return 加锁结果::错误;
  if (状态_->持有) return 加锁结果::取得;
  const std::uint64_t 截止 = 毫秒计时() + 毫秒;
  for (;;) {
    if (锁住(状态_->句柄.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY)) {
      状态_->持有 = true;
      return 加锁结果::取得;
    }
    if (::GetLastError() != ERROR_LOCK_VIOLATION) return 加锁结果::错误;
    if (毫秒计时() >= 截止) return 加锁结果::超时;
    ::Sleep(2);
  }
}

void 文件锁::删除并关闭() {
  if (状态_->持有) {
    // Deleted while open: the name goes when the last handle closes.
    ::DeleteFileW(windows::长路径形式(状态_->路径).c_str());
    放开(状态_->句柄.get());
  }
  状态_ = std::make_unique<状态>();
}

bool 文件锁::已持有() const { return 状态_->持有; }

}  // namespace tallybell::platform
