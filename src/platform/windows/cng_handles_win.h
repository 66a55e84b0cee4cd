// Owners of the CNG (bcrypt) handles the platform opens for hashing and for signatures,
// and the one test of a CNG status.
#pragma once

#include <windows.h>
#include <bcrypt.h>

#include "platform/windows/handles_win.h"

namespace tallybell::platform::windows {

struct CNG算法句柄特性 {
  using 值类型 = BCRYPT_ALG_HANDLE;
  static BCRYPT_ALG_HANDLE 无效值() noexcept { return nullptr; }
  static bool 有效(BCRYPT_ALG_HANDLE 值) noexcept { return 值 != nullptr; }
  static void 关闭(BCRYPT_ALG_HANDLE 值) noexcept { ::BCryptCloseAlgorithmProvider(值, 0); }
};

struct CNG密钥句柄特性 {
  using 值类型 = BCRYPT_KEY_HANDLE;
  static BCRYPT_KEY_HANDLE 无效值() noexcept { return nullptr; }
  static bool 有效(BCRYPT_KEY_HANDLE 值) noexcept { return 值 != nullptr; }
  static void 关闭(BCRYPT_KEY_HANDLE 值) noexcept { ::BCryptDestroyKey(值); }
};

struct CNG哈希句柄特性 {
  using 值类型 = BCRYPT_HASH_HANDLE;
  static BCRYPT_HASH_HANDLE 无效值() noexcept { return nullptr; }
  static bool 有效(BCRYPT_HASH_HANDLE 值) noexcept { return 值 != nullptr; }
  static void 关闭(BCRYPT_HASH_HANDLE 值) noexcept { ::BCryptDestroyHash(值); }
};

using CNG算法句柄 = 作用域资源<CNG算法句柄特性>;
using CNG密钥句柄 = 作用域资源<CNG密钥句柄特性>;
using CNG哈希句柄 = 作用域资源<CNG哈希句柄特性>;

inline bool CNG成功(NTSTATUS 状态) { return BCRYPT_SUCCESS(状态); }

}  // namespace tallybell::platform::windows
