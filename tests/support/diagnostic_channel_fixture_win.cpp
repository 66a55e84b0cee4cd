#include "support/diagnostic_channel_fixture.h"

#include <windows.h>

#include <optional>

#include "common/text.h"
#include "platform/diagnostic_memory.h"
#include "support/lock_holder.h"

namespace tallybell::测试 {

struct 测试诊断通道::实现 {
  HANDLE 映射 = nullptr;
  HANDLE 锁 = nullptr;
  unsigned char* 视图 = nullptr;
  std::wstring 锁名称;  // below "Local\", as the named mutex takes it
  std::optional<持锁线程> 别处;

  ~实现() {
    别处.reset();
    if (视图 != nullptr) ::UnmapViewOfFile(视图);
    if (锁 != nullptr) ::CloseHandle(锁);
    if (映射 != nullptr) ::CloseHandle(映射);
  }

  void 创建(const std::string& 标识) {
    锁名称 = L"Tallybell.UpdateDiagnostic." + 逐字节加宽(标识) + L".Lock";
    const std::wstring 名称 = L"Local\\Tallybell.UpdateDiagnostic." + 逐字节加宽(标识);
    // Paging-file backed memory is zero-filled, as the application's channel starts.
    映射 = ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                platform::诊断视图字节数, 名称.c_str());
    锁 = ::CreateMutexW(nullptr, FALSE, (名称 + L".Lock").c_str());
    if (映射 == nullptr || 锁 == nullptr) return;
    视图 = static_cast<unsigned char*>(
        ::MapViewOfFile(映射, FILE_MAP_ALL_ACCESS, 0, 0, platform::诊断视图字节数));
  }
};

测试诊断通道::测试诊断通道(const std::string& 标识) : 实现_(std::make_unique<实现>()) {
  实现_->创建(标识);
}

测试诊断通道::~测试诊断通道() = default;

bool 测试诊断通道::已创建() const { return 实现_->视图 != nullptr; }

unsigned char* 测试诊断通道::视图() const { return 实现_->视图; }

bool 测试诊断通道::别处持锁(bool 持有) {
  实现_->别处.reset();
  if (持有) 实现_->别处.emplace(实现_->锁名称);
  return !持有 || 实现_->别处->已取得();
}

bool 测试诊断通道::锁持有者死去() { return 持锁后死去(实现_->锁名称); }

}  // namespace tallybell::测试
