// The input and output records of one update run (the background check).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tallybell {

// Filled by the background check command before it starts a run.
struct 更新协调器配置 {
  std::wstring programRoot;  // releases live in programRoot/releases/<id>; not empty
  std::wstring stateRoot;    // state files; not empty
  std::wstring cacheRoot;    // object cache handed to the assembly; not empty
  std::vector<std::wstring> resolveUrls;  // resolve endpoints, tried in order; at least one
  std::string userId;                     // UTF-8, sent unchanged with the resolve request
  bool forceCheck = false;                // ignore the state's nextCheckAt
  // The caller asks for a supervised recovery of a quarantined release; every decision
  // about the target is then also written to the diagnostic channel.
  bool recoverUnusableState = false;
  // Current time in 100-nanosecond intervals since 1601-01-01 UTC; the system time when
  // empty. Tests inject a fixed clock here.
  std::function<std::uint64_t()> clock;
  std::string diagnosticId;  // task id of the diagnostic lines
  // The trusted publisher keys (text form of documents/manifest_signature.h). Empty: no
  // release is checked for a signature. Set: a target whose manifest no trusted key has
  // signed is refused before anything of it is downloaded or staged.
  std::string trustedPublicKeys;
};

// What one run did; the coordinator resets it at the start of every run.
struct 更新协调器结果 {
  bool skippedUntilCheckAfter = false;  // nextCheckAt lies in the future
  bool skippedWhileFailing = false;     // with the above: updateFailureCount is not 0
  bool olderPolicyIgnored = false;      // the service sent a policy older than the stored one
  bool releasePrepared = false;         // a release was committed as pending in this run
  bool alreadyRunning = false;          // another run holds the coordinator lock
  std::string targetReleaseId;          // UTF-8; empty until a policy is accepted
};

}  // namespace tallybell
