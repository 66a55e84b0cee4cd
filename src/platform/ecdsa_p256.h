// ECDSA on the NIST P-256 curve, the primitive behind signed releases: CNG on Windows,
// OpenSSL libcrypto on POSIX. Everything here works on raw fixed-size values; what a key
// or signature looks like as text, and which keys are trusted, is decided above.
#pragma once

#include <array>

namespace tallybell::platform {

using P256公钥 = std::array<unsigned char, 64>;    // X || Y, big endian, of an affine point
using P256私钥 = std::array<unsigned char, 32>;    // the secret scalar d, big endian
using P256签名 = std::array<unsigned char, 64>;    // r || s, big endian
using SHA256摘要 = std::array<unsigned char, 32>;

// True only when 公钥 is a point of the curve and 签名 is a valid signature of 摘要 by it.
// A malformed key, an r or s out of range, and every platform failure give false.
bool 校验P256签名(const P256公钥& 公钥, const SHA256摘要& 摘要, const P256签名& 签名);

// A new key pair from the platform's random source. False (outputs not to be used) when
// the platform refuses.
bool 生成P256密钥(P256私钥* 私钥, P256公钥* 公钥);

// Signs 摘要 with the pair (私钥, 公钥). False (output not to be used) when the platform
// refuses, for example because the two halves do not belong together.
bool 签署P256(const P256私钥& 私钥, const P256公钥& 公钥, const SHA256摘要& 摘要, P256签名* 签名);

}  // namespace tallybell::platform
