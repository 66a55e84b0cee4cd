#include "platform/private_file.h"

#include <windows.h>
#include <sddl.h>

#include "platform/windows/handles_win.h"

namespace tallybell::platform {
namespace {

struct 本地内存特性 {
  using 值类型 = PSECURITY_DESCRIPTOR;
  static PSECURITY_DESCRIPTOR 无效值() noexcept { return nullptr; }
  static bool 有效(PSECURITY_DESCRIPTOR 值) noexcept { return 值 != nullptr; }
  static void 关闭(PSECURITY_DESCRIPTOR 值) noexcept { ::LocalFree(值); }
};

// A protected access list (nothing inherited from the folder) with one entry: full access
// for the file's owner.
constexpr wchar_t 仅所有者[] = L"D:P(A;;FA;;;OW)";

}  // namespace

bool 写入私有新文件(const std::wstring& 路径, const std::string& 内容) {
  windows::作用域资源<本地内存特性> 描述符;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(仅所有者, SDDL_REVISION_1, 描述符.接收(), nullptr)) {
    return false;
  }
  SECURITY_ATTRIBUTES 属性{};
  属性.nLength = sizeof 属性;
  属性.lpSecurityDescriptor = 描述符.get();
  windows::作用域句柄 文件(::CreateFileW(路径.c_str(), GENERIC_WRITE, 0, &属性, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                        nullptr));
  if (!文件) return false;
  DWORD 已写 = 0;
  const bool 成功 = 内容.size() <= MAXDWORD &&
                    ::WriteFile(文件.get(), 内容.data(), static_cast<DWORD>(内容.size()), &已写, nullptr) &&
                    已写 == 内容.size() && ::FlushFileBuffers(文件.get());
  文件.重置();
  if (!成功) ::DeleteFileW(路径.c_str());
  return 成功;
}

}  // namespace tallybell::platform
