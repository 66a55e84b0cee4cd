#include "platform/private_file.h"

#include <windows.h>

#include <vector>

#include "platform/windows/handles_win.h"

namespace tallybell::platform {
namespace {

// The SID of the user this process runs as, in a buffer that owns it.
bool 当前用户(std::vector<unsigned char>* 缓冲) {
  windows::作用域句柄 令牌;
  DWORD 长度 = 0;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, 令牌.接收())) return false;
  ::GetTokenInformation(令牌.get(), TokenUser, nullptr, 0, &长度);
  if (长度 == 0) return false;
  缓冲->assign(长度, 0);
  return ::GetTokenInformation(令牌.get(), TokenUser, 缓冲->data(), 长度, &长度) != FALSE;
}

}  // namespace

bool 写入私有新文件(const std::wstring& 路径, const std::string& 内容) {
  // A protected access list (nothing inherited from the folder) with one entry: full
  // access for this user, named by SID rather than as "owner", since an elevated
  // administrator's files may be owned by the Administrators group.
  std::vector<unsigned char> 用户;
  if (!当前用户(&用户)) return false;
  PSID 标识 = reinterpret_cast<TOKEN_USER*>(用户.data())->User.Sid;
  const DWORD 列表长度 = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + ::GetLengthSid(标识);
  std::vector<unsigned char> 列表(列表长度);
  SECURITY_DESCRIPTOR 描述符;
  PACL acl = reinterpret_cast<PACL>(列表.data());
  if (!::InitializeAcl(acl, 列表长度, ACL_REVISION) || !::AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, 标识) ||
      !::InitializeSecurityDescriptor(&描述符, SECURITY_DESCRIPTOR_REVISION) ||
      !::SetSecurityDescriptorDacl(&描述符, TRUE, acl, FALSE) ||
      !::SetSecurityDescriptorControl(&描述符, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
    return false;
  }
  SECURITY_ATTRIBUTES 属性{};
  属性.nLength = sizeof 属性;
  属性.lpSecurityDescriptor = &描述符;
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
