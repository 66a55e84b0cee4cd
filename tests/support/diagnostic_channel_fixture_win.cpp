#include <windows.h>

#include "support/diagnostic_channel_fixture.h"

namespace tallybell::测试 {

unsigned char* 创建应用诊断通道(const std::string& 标识, std::shared_ptr<void>* 持有) {
  const std::wstring 名称 = platform::诊断映射名称(标识);  // "Local\..." as the application names it
  // Paging-file backed memory is zero-filled, as the application's channel starts.
  HANDLE 映射 = ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, platform::诊断视图字节数,
                                     名称.c_str());
  HANDLE 锁 = ::CreateMutexW(nullptr, FALSE, (名称 + L".Lock").c_str());
  void* 视图 = 映射 != nullptr && 锁 != nullptr
                   ? ::MapViewOfFile(映射, FILE_MAP_ALL_ACCESS, 0, 0, platform::诊断视图字节数)
                   : nullptr;
  *持有 = std::shared_ptr<void>(视图, [映射, 锁](void* 地址) {
    if (地址 != nullptr) ::UnmapViewOfFile(地址);
    for (HANDLE 句柄 : {锁, 映射}) {
      if (句柄 != nullptr) ::CloseHandle(句柄);
    }
  });
  return static_cast<unsigned char*>(视图);
}

}  // namespace tallybell::测试
