// The signature check of a ready-made release when the installation trusts publisher keys.
// The release directory carries its manifest as release.manifest.json; the publisher's
// signature of those bytes sits beside it as release.manifest.json.sig.
#pragma once

#include <cstdint>
#include <string>

#include "documents/manifest.h"

namespace tallybell {

struct 已签名离线清单 {
  bool 已要求 = false;  // trusted keys are configured; the fields below are then filled
  发布清单 清单;
  std::string 清单哈希;  // lowercase hexadecimal SHA-256 of the signed bytes
};

// Without trusted keys: 0 and 输出->已要求 false, nothing read. With them: 0 when the
// source's manifest is signed by a trusted key, parses and names 发布标识; otherwise 3011
// with *消息 (when given) naming what is wrong.
std::uint32_t 校验离线版本签名(const std::wstring& 源目录, const std::wstring& 发布标识,
                              const std::string& 受信任公钥, 已签名离线清单* 输出, std::wstring* 消息);

// The directory (a staged copy, or a release already in place) holds exactly the signed
// release: its manifest is the signed one and every file verifies against it.
bool 符合已签名清单(const std::wstring& 目录, const 已签名离线清单& 签名清单);

// The sentence for a directory that fails the check above.
inline constexpr wchar_t 离线版本与签名不符[] = L"离线版本与已签名的发布清单不符。";

}  // namespace tallybell
