// Supervised recovery of a quarantined release: when nothing on the machine can run any
// more and the policy still assigns a quarantined release, that release may become the
// pending release once more for one supervised trial start. The fingerprint record in the
// local state remembers which release and manifest were re-admitted before.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "coordinator/coordinator_config.h"
#include "documents/policy.h"
#include "storage/version_state.h"

namespace tallybell {

// The member of the stored state document that holds the recovery fingerprints.
inline constexpr char 恢复指纹成员[] = "quarantineRecoveryFingerprints";

// "recovery-v1|" + targetReleaseId + "|" + manifestHash.
std::string 计算恢复指纹(const 版本策略& 策略);

// "invalid" when preservedFields is not a JSON object, the record is not an array or holds
// an element that is not a string (wherever it stands); "used" when a string element equals
// 指纹 byte for byte; "unused" otherwise (no record at all included).
std::string 查询恢复指纹状态(const 本地版本状态& 状态, const std::string& 指纹);

// Appends 指纹 to the record (created when absent) unless it is already there. Changes only
// preservedFields; false, with the record unchanged, when the record is invalid.
bool 登记恢复指纹(本地版本状态* 状态, const std::string& 指纹);

// A release id names programRoot/releases/<id>, runnable when that directory passes its
// self-check; anything else is a file path, runnable when something other than a
// directory exists there. The empty text is never runnable.
bool 版本可运行(const 更新协调器配置& 配置, const std::wstring& 标识或路径);

// The state's launch candidates in order of preference.
enum class 启动候选位置 {
  pendingRelease = 1,
  activeRelease = 2,
  lastGoodRelease = 3,
  rescueRelease = 4,
  legacyInstallPath = 5,
};

struct 启动候选 {
  std::wstring 文本;
  启动候选位置 位置 = 启动候选位置::pendingRelease;
};

using 可运行检查 = std::function<bool(const std::wstring&)>;

// The first candidate that is set, runnable and (except legacyInstallPath) not quarantined;
// nothing when none qualifies.
std::optional<启动候选> 选择可启动版本(const 本地版本状态& 状态, const 可运行检查& 可运行);

// True when no launch candidate qualifies and no confirmedHistory entry other than 目标 is
// both unquarantined and runnable.
bool 没有其它可运行版本(const 更新协调器配置& 配置, const 本地版本状态& 状态,
                        const std::wstring& 目标);

// Whether 目标 may leave quarantine in this run: recovery was asked for, 目标 is a valid
// release id on the quarantined list, no release is pending or attempting, the fingerprint
// record is readable and nothing else on the machine can run.
bool 判定隔离恢复资格(const 更新协调器配置& 配置, const 本地版本状态& 状态, const 版本策略& 策略,
                      const std::wstring& 目标);

// Writes the "quarantine-decision" line (code 0 when 可恢复, else 3003) with the whole
// picture behind the decision. Nothing is computed when the channel is unavailable, and
// nothing ever fails the caller.
void 记录恢复判定(const 更新协调器配置& 配置, const 本地版本状态& 状态, const 版本策略& 策略,
                  bool 可恢复);

// The committed release directory 目录 holds the policy's target, built from a manifest
// with the policy's manifestHash, and every file verifies.
bool 校验目标版本(const std::wstring& 目录, const 版本策略& 策略);

// Re-reads the state files, checks eligibility and 目录 again on that fresh state, and
// commits: fingerprint recorded, 目标 removed from quarantined, pendingRelease := 目标,
// generation + 1. On success *状态 becomes the committed state, a "quarantine-commit" line
// is written and *错误 cleared. On failure the files and *状态 are unchanged and *错误
// holds one sentence; a failed re-check also writes a decision line with code 3003.
bool 提交隔离恢复(const 更新协调器配置& 配置, const 版本策略& 策略, const std::wstring& 目标,
                  const std::wstring& 目录, const 本地版本状态路径* 路径, 本地版本状态* 状态,
                  std::wstring* 错误 = nullptr);

}  // namespace tallybell
