// Installing a release delivered as a ready-made directory in an offline fixture.
#pragma once

#include <cstdint>
#include <string>

namespace tallybell {

struct 离线准备请求 {
  std::wstring fixtureDir;
  std::wstring programRoot;
  std::wstring stateRoot;
  std::wstring releaseId;
  // How long to wait for a running update to release the coordinator lock.
  std::uint32_t 锁等待毫秒 = 30000;
  // Trusted publisher keys (see documents/manifest_signature.h); empty: not checked. Set:
  // the release must come with a manifest a trusted key signed, and the files it lists.
  std::string trustedPublicKeys;
};

// Copies <fixtureDir>/releases/<releaseId> through a private staging directory into
// <programRoot>/releases/<releaseId> with one rename and records it as pendingRelease.
// Returns 0 or a failure code; *消息 (when given) receives the outcome's sentence, on
// success too. The local state is changed only while the update coordinator's lock is
// held, so a background check cannot interleave its own load-modify-save. With trusted
// keys, a release without a valid signature, or whose copy does not match the signed
// manifest, gives 3011 and nothing is committed.
std::uint32_t 准备离线版本(const 离线准备请求& 请求, std::wstring* 消息);

}  // namespace tallybell
