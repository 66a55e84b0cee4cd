// The publisher's signing key: a text file only its owner can read, holding the public key
// text and the private scalar, made by `key generate` and used by `release --signing-key`.
//
//   # tallybell-publish signing key (ECDSA P-256). Keep it secret and offline.
//   public <public key text>
//   private <base64 of the 32-byte private scalar>
#pragma once

#include <string>

#include "platform/ecdsa_p256.h"
#include "publish/publish_output.h"

namespace tallybell {

struct 签名密钥 {
  platform::P256私钥 私钥{};
  platform::P256公钥 公钥{};
};

// "<file>.pub": where key generate puts the public key text beside the private key.
inline constexpr wchar_t 公钥文件后缀[] = L".pub";

std::string 签名密钥文件文本(const 签名密钥& 密钥);

// Reads and parses a key file. Code 4 when it cannot be read, 3 when it is not a key file.
bool 读取签名密钥(const std::wstring& 路径, 签名密钥* 密钥, 发布失败* 失败);

// The signature text of 清单文本, checked with the public half before it is returned, so
// a key file whose halves do not belong together signs nothing. Code 3 otherwise.
bool 签署清单(const 签名密钥& 密钥, const std::string& 清单文本, std::string* 签名, 发布失败* 失败);

}  // namespace tallybell
