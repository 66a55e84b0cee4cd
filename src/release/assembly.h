// Turning a verified release manifest into a complete release directory under
// <programRoot>/releases, recorded as the pending release.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "documents/manifest.h"
#include "transport/download_transport.h"

namespace tallybell {

// An installed release whose files may be reused.
struct 已有版本 {
  std::wstring directory;
  发布清单 manifest;
};

struct 版本组装配置 {
  std::wstring programRoot;
  std::wstring stateRoot;
  std::wstring cacheRoot;
  std::string manifestText;  // exactly as received
  std::string manifestHash;  // from the policy, 64 lowercase hex characters
  std::vector<已有版本> localReleases;
  bool allowQuarantinedRecovery = false;
  std::string diagnosticId;
};

struct 版本组装结果 {
  std::wstring releaseDirectory;
  std::uint32_t copiedFromReleases = 0;
  std::uint32_t copiedFromCache = 0;
  std::uint32_t downloaded = 0;
  bool alreadyComplete = false;
};

// Builds the release in a private staging directory from installed releases, the object
// cache and downloads (in that order of preference), verifies it, sets an incomplete
// directory of the same name aside, commits it with one rename and records it as pending.
// Returns 0 (*结果 filled, *错误 cleared) or a failure code with its message. Nothing
// under releases changes before the staged release has verified complete.
std::uint32_t 版本组装(const 版本组装配置& 配置, 下载传输* 下载通道, 版本组装结果* 结果,
                       std::wstring* 错误);

}  // namespace tallybell
