// ECDSA P-256 through CNG: keys are imported from BCRYPT_ECCKEY_BLOB structures (the
// header, then X, Y and for a private key d, all big endian), and CNG's signature form is
// the raw r || s that the portable code uses.
#include "platform/ecdsa_p256.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/windows/cng_handles_win.h"

namespace tallybell::platform {
namespace {

using windows::CNG算法句柄;
using windows::CNG密钥句柄;
using windows::CNG成功;

constexpr ULONG 坐标字节数 = 32;

bool 打开算法(CNG算法句柄* 算法) {
  return CNG成功(::BCryptOpenAlgorithmProvider(算法->接收(), BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0));
}

// The key blob: header, X || Y, and d for a private key.
std::vector<unsigned char> 密钥块(const P256公钥& 公钥, const P256私钥* 私钥) {
  BCRYPT_ECCKEY_BLOB 头{};
  头.dwMagic = 私钥 != nullptr ? BCRYPT_ECDSA_PRIVATE_P256_MAGIC : BCRYPT_ECDSA_PUBLIC_P256_MAGIC;
  头.cbKey = 坐标字节数;
  std::vector<unsigned char> 块(sizeof 头);
  std::memcpy(块.data(), &头, sizeof 头);
  块.insert(块.end(), 公钥.begin(), 公钥.end());
  if (私钥 != nullptr) 块.insert(块.end(), 私钥->begin(), 私钥->end());
  return 块;
}

bool 导入密钥(BCRYPT_ALG_HANDLE 算法, const P256公钥& 公钥, const P256私钥* 私钥, CNG密钥句柄* 密钥) {
  std::vector<unsigned char> 块 = 密钥块(公钥, 私钥);
  const bool 结果 = CNG成功(::BCryptImportKeyPair(算法, nullptr,
                                              私钥 != nullptr ? BCRYPT_ECCPRIVATE_BLOB : BCRYPT_ECCPUBLIC_BLOB,
                                              密钥->接收(), 块.data(), static_cast<ULONG>(块.size()), 0));
  std::fill(块.begin(), 块.end(), 0);
  return 结果;
}

}  // namespace

bool 校验P256签名(const P256公钥& 公钥, const SHA256摘要& 摘要, const P256签名& 签名) {
  CNG算法句柄 算法;
  CNG密钥句柄 密钥;
  if (!打开算法(&算法) || !导入密钥(算法.get(), 公钥, nullptr, &密钥)) return false;
  // The call takes non-const buffers but only reads them.
  SHA256摘要 摘要副本 = 摘要;
  P256签名 签名副本 = 签名;
  return ::BCryptVerifySignature(密钥.get(), nullptr, 摘要副本.data(), static_cast<ULONG>(摘要副本.size()),
                                 签名副本.data(), static_cast<ULONG>(签名副本.size()), 0) == 0;
}

bool 生成P256密钥(P256私钥* 私钥, P256公钥* 公钥) {
  CNG算法句柄 算法;
  CNG密钥句柄 密钥;
  if (!打开算法(&算法) || !CNG成功(::BCryptGenerateKeyPair(算法.get(), 密钥.接收(), 256, 0)) ||
      !CNG成功(::BCryptFinalizeKeyPair(密钥.get(), 0))) {
    return false;
  }
  std::vector<unsigned char> 块(sizeof(BCRYPT_ECCKEY_BLOB) + 3 * 坐标字节数);
  ULONG 长度 = 0;
  const bool 已导出 = CNG成功(::BCryptExportKey(密钥.get(), nullptr, BCRYPT_ECCPRIVATE_BLOB, 块.data(),
                                            static_cast<ULONG>(块.size()), &长度, 0)) &&
                      长度 == 块.size();
  if (已导出) {
    const unsigned char* 值 = 块.data() + sizeof(BCRYPT_ECCKEY_BLOB);
    std::copy(值, 值 + 2 * 坐标字节数, 公钥->begin());
    std::copy(值 + 2 * 坐标字节数, 值 + 3 * 坐标字节数, 私钥->begin());
  }
  std::fill(块.begin(), 块.end(), 0);
  return 已导出;
}

bool 签署P256(const P256私钥& 私钥, const P256公钥& 公钥, const SHA256摘要& 摘要, P256签名* 签名) {
  CNG算法句柄 算法;
  CNG密钥句柄 密钥;
  if (!打开算法(&算法) || !导入密钥(算法.get(), 公钥, &私钥, &密钥)) return false;
  SHA256摘要 摘要副本 = 摘要;
  ULONG 长度 = 0;
  return CNG成功(::BCryptSignHash(密钥.get(), nullptr, 摘要副本.data(), static_cast<ULONG>(摘要副本.size()),
                               签名->data(), static_cast<ULONG>(签名->size()), &长度, 0)) &&
         长度 == 签名->size();
}

}  // namespace tallybell::platform
