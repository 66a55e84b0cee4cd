#include <windows.h>

#include "support/lock_holder.h"

namespace tallybell::测试 {

bool 持锁后死去(const std::wstring& 名称) {
  bool 持有 = false;
  // Raw calls: the platform's owner would release the mutex on its way out.
  std::thread([&] {
    HANDLE 句柄 = ::CreateMutexW(nullptr, FALSE, (L"Local\\" + 名称).c_str());
    持有 = 句柄 != nullptr && ::WaitForSingleObject(句柄, 0) == WAIT_OBJECT_0;
    if (句柄 != nullptr) ::CloseHandle(句柄);  // ownership stays with the thread until it ends
  }).join();
  return 持有;
}

}  // namespace tallybell::测试
