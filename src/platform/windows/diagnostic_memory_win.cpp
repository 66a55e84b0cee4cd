// The diagnostic channel's named file mapping and mutex, both created by the application.
#include "platform/diagnostic_memory.h"

#include <windows.h>

#include "platform/windows/handles_win.h"
#include "platform/windows/lock_wait_win.h"

namespace tallybell::platform {

// Member order is the reverse of the closing order: view, then mutex, then mapping.
struct 诊断共享内存::状态 {
  windows::作用域句柄 映射;
  windows::作用域句柄 锁;
  windows::映射视图 视图;
};

诊断共享内存::诊断共享内存() : 状态_(std::make_unique<状态>()) {}

诊断共享内存::~诊断共享内存() { 关闭(); }

void 诊断共享内存::打开(const std::string& 标识) {
  关闭();
  const std::wstring 名称 = 诊断映射名称(标识);
  const std::wstring 锁名称 = 名称 + L".Lock";
  状态_->映射.重置(::OpenFileMappingW(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, 名称.c_str()));
  状态_->锁.重置(::OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, 锁名称.c_str()));
  // Without the lock the text must not be touched, so the view is mapped only with both.
  if (状态_->映射 && 状态_->锁) {
    状态_->视图.重置(
        ::MapViewOfFile(状态_->映射.get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, 诊断视图字节数));
  }
}

bool 诊断共享内存::有映射() const { return 状态_->映射.有效(); }

bool 诊断共享内存::有锁() const { return 状态_->锁.有效(); }

unsigned char* 诊断共享内存::视图() const { return static_cast<unsigned char*>(状态_->视图.get()); }

加锁结果 诊断共享内存::加锁(std::uint32_t 毫秒) {
  if (!状态_->锁) return 加锁结果::错误;
  // An abandoned mutex is owned by this thread now; the header it guards is checked by the
  // writer before use.
  return windows::等待锁对象(状态_->锁.get(), 毫秒);
}

void 诊断共享内存::解锁() {
  if (状态_->锁) ::ReleaseMutex(状态_->锁.get());
}

void 诊断共享内存::关闭() {
  状态_->视图.重置();
  状态_->锁.重置();
  状态_->映射.重置();
}

std::wstring 诊断映射名称(const std::string& 标识) {
  std::wstring 名称 = L"Local\\Tallybell.UpdateDiagnostic.";
  // The id is validated ASCII; each byte becomes one wide character.
  for (unsigned char 字节 : 标识) 名称 += static_cast<wchar_t>(字节);
  return 名称;
}

}  // namespace tallybell::platform
