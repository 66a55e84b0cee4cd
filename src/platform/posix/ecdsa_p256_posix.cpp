// ECDSA P-256 through OpenSSL's EVP interface. Keys are built from their raw parts with
// EVP_PKEY_fromdata, which refuses a point that is not on the curve; signatures cross
// between the raw r || s form and the DER form OpenSSL speaks through ECDSA_SIG.
#include "platform/ecdsa_p256.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace tallybell::platform {
namespace {

template <typename 类型, void (*释放)(类型*)>
struct 释放器 {
  void operator()(类型* 值) const { 释放(值); }
};
template <typename 类型, void (*释放)(类型*)>
using 拥有 = std::unique_ptr<类型, 释放器<类型, 释放>>;

using 密钥指针 = 拥有<EVP_PKEY, EVP_PKEY_free>;
using 上下文指针 = 拥有<EVP_PKEY_CTX, EVP_PKEY_CTX_free>;
using 签名指针 = 拥有<ECDSA_SIG, ECDSA_SIG_free>;
using 大数指针 = 拥有<BIGNUM, BN_clear_free>;
using 参数构建指针 = 拥有<OSSL_PARAM_BLD, OSSL_PARAM_BLD_free>;
using 参数指针 = 拥有<OSSL_PARAM, OSSL_PARAM_free>;

constexpr char 曲线名[] = "prime256v1";

// The uncompressed SEC 1 encoding 0x04 || X || Y.
std::vector<unsigned char> 未压缩点(const P256公钥& 公钥) {
  std::vector<unsigned char> 点{0x04};
  点.insert(点.end(), 公钥.begin(), 公钥.end());
  return 点;
}

// A public key, or a key pair when 私钥 is given.
密钥指针 构建密钥(const P256公钥& 公钥, const P256私钥* 私钥) {
  const std::vector<unsigned char> 点 = 未压缩点(公钥);
  参数构建指针 构建(OSSL_PARAM_BLD_new());
  大数指针 d;
  if (私钥 != nullptr) d.reset(BN_bin2bn(私钥->data(), static_cast<int>(私钥->size()), nullptr));
  if (!构建 || (私钥 != nullptr && !d) ||
      OSSL_PARAM_BLD_push_utf8_string(构建.get(), OSSL_PKEY_PARAM_GROUP_NAME, 曲线名, 0) != 1 ||
      OSSL_PARAM_BLD_push_octet_string(构建.get(), OSSL_PKEY_PARAM_PUB_KEY, 点.data(), 点.size()) != 1 ||
      (d && OSSL_PARAM_BLD_push_BN(构建.get(), OSSL_PKEY_PARAM_PRIV_KEY, d.get()) != 1)) {
    return nullptr;
  }
  参数指针 参数(OSSL_PARAM_BLD_to_param(构建.get()));
  上下文指针 上下文(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
  EVP_PKEY* 密钥 = nullptr;
  if (!参数 || !上下文 || EVP_PKEY_fromdata_init(上下文.get()) != 1 ||
      EVP_PKEY_fromdata(上下文.get(), &密钥, 私钥 != nullptr ? EVP_PKEY_KEYPAIR : EVP_PKEY_PUBLIC_KEY,
                        参数.get()) != 1) {
    return nullptr;
  }
  return 密钥指针(密钥);
}

}  // namespace

bool 校验P256签名(const P256公钥& 公钥, const SHA256摘要& 摘要, const P256签名& 签名) {
  密钥指针 密钥 = 构建密钥(公钥, nullptr);
  签名指针 值(ECDSA_SIG_new());
  大数指针 r(BN_bin2bn(签名.data(), 32, nullptr));
  大数指针 s(BN_bin2bn(签名.data() + 32, 32, nullptr));
  if (!密钥 || !值 || !r || !s || ECDSA_SIG_set0(值.get(), r.get(), s.get()) != 1) return false;
  // ECDSA_SIG_set0 took both numbers.
  r.release();
  s.release();
  unsigned char* der = nullptr;
  const int 长度 = i2d_ECDSA_SIG(值.get(), &der);
  if (长度 <= 0) return false;
  const std::unique_ptr<unsigned char, void (*)(unsigned char*)> 已编码(der, [](unsigned char* p) { OPENSSL_free(p); });
  上下文指针 上下文(EVP_PKEY_CTX_new(密钥.get(), nullptr));
  return 上下文 && EVP_PKEY_verify_init(上下文.get()) == 1 &&
         EVP_PKEY_CTX_set_signature_md(上下文.get(), EVP_sha256()) == 1 &&
         EVP_PKEY_verify(上下文.get(), der, static_cast<std::size_t>(长度), 摘要.data(), 摘要.size()) == 1;
}

bool 生成P256密钥(P256私钥* 私钥, P256公钥* 公钥) {
  密钥指针 密钥(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"));
  if (!密钥) return false;
  BIGNUM* d = nullptr;
  if (EVP_PKEY_get_bn_param(密钥.get(), OSSL_PKEY_PARAM_PRIV_KEY, &d) != 1) return false;
  大数指针 已取(d);
  unsigned char 点[65];
  std::size_t 长度 = 0;
  if (BN_bn2binpad(d, 私钥->data(), static_cast<int>(私钥->size())) != 32 ||
      EVP_PKEY_get_octet_string_param(密钥.get(), OSSL_PKEY_PARAM_PUB_KEY, 点, sizeof 点, &长度) != 1 ||
      长度 != sizeof 点 || 点[0] != 0x04) {
    return false;
  }
  std::copy(点 + 1, 点 + sizeof 点, 公钥->begin());
  return true;
}

bool 签署P256(const P256私钥& 私钥, const P256公钥& 公钥, const SHA256摘要& 摘要, P256签名* 签名) {
  密钥指针 密钥 = 构建密钥(公钥, &私钥);
  if (!密钥) return false;
  上下文指针 上下文(EVP_PKEY_CTX_new(密钥.get(), nullptr));
  std::size_t 长度 = 0;
  if (!上下文 || EVP_PKEY_sign_init(上下文.get()) != 1 ||
      EVP_PKEY_CTX_set_signature_md(上下文.get(), EVP_sha256()) != 1 ||
      EVP_PKEY_sign(上下文.get(), nullptr, &长度, 摘要.data(), 摘要.size()) != 1) {
    return false;
  }
  std::vector<unsigned char> der(长度);
  if (EVP_PKEY_sign(上下文.get(), der.data(), &长度, 摘要.data(), 摘要.size()) != 1) return false;
  const unsigned char* 读位置 = der.data();
  签名指针 值(d2i_ECDSA_SIG(nullptr, &读位置, static_cast<long>(长度)));
  if (!值) return false;
  const BIGNUM* r = nullptr;
  const BIGNUM* s = nullptr;
  ECDSA_SIG_get0(值.get(), &r, &s);
  return BN_bn2binpad(r, 签名->data(), 32) == 32 && BN_bn2binpad(s, 签名->data() + 32, 32) == 32;
}

}  // namespace tallybell::platform
