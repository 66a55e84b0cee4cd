// Signed releases: a publisher signs the exact bytes of a release manifest with an ECDSA
// P-256 key kept offline, and an installation built with trusted public keys accepts a
// manifest only with a signature one of them verifies. Because the manifest names its
// release id and the hash of every file, the signature covers the whole release and
// cannot be moved to another one.
//
// Text forms (the same on every platform and in every document):
// - public key: base64 (standard alphabet, padded) of the DER SubjectPublicKeyInfo of an
//   uncompressed P-256 point, 124 characters beginning "MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAE"
//   (the body of the PEM public key OpenSSL writes);
// - signature: base64 of the 64-byte r || s of ECDSA with SHA-256 over the manifest bytes,
//   88 characters;
// - trusted keys (the deployment constant): one or two public key texts separated by
//   commas or white space; empty means releases are not checked at all.
#pragma once

#include <string>
#include <vector>

#include "platform/ecdsa_p256.h"

namespace tallybell {

// A signature file sits beside the manifest it signs: "<manifest file name>.sig".
inline constexpr wchar_t 签名文件后缀[] = L".sig";

enum class 签名校验结果 {
  未要求,    // no trusted keys are configured: nothing was checked
  已通过,    // a trusted key verifies the signature over these bytes
  缺少签名,  // keys are configured and there is no signature
  未通过,    // malformed signature or key list, or no trusted key verifies it
};

bool 解析公钥文本(const std::string& 文本, platform::P256公钥* 公钥);
std::string 公钥文本(const platform::P256公钥& 公钥);
bool 解析签名文本(const std::string& 文本, platform::P256签名* 签名);
std::string 签名文本(const platform::P256签名& 签名);

// The trusted keys of the deployment text. False when the text is not empty and is not
// one or two valid keys; an installation configured that way accepts no release at all.
bool 解析受信任公钥(const std::string& 文本, std::vector<platform::P256公钥>* 公钥);

// Checks 签名 (its text form; empty when the release came without one) over 清单文本
// against the trusted keys of 受信任公钥文本.
签名校验结果 校验发布清单签名(const std::string& 受信任公钥文本, const std::string& 清单文本,
                              const std::string& 签名);

// The sentence for a refusal: 缺少签名 and 未通过 each have their own; null for the others.
const wchar_t* 签名校验消息(签名校验结果 结果);

// The signature text of a signature file's contents: the text without trailing white space
// (a file usually ends with a line feed).
std::string 签名文件文本(const std::string& 内容);

}  // namespace tallybell
