// The version policy the service issues for one installation.
//
// Numbering: time is cut into check windows of the configured interval, counted from
// 1970. Within window w, a snapshot of revision r issues
//     policyVersion = ((w * 2^24 + r) * 2) + q
// where q is 1 when the installation was offered the base release because it reported the
// rollout's target as quarantined. Everything in a policy (target, URLs, signature and
// checkAfter) is a function of the snapshot of revision r, the window w, the installation
// id and q alone, so one version number always has one content, whichever process or
// moment issues it. Versions rise with every window and every revision. checkAfter lies in
// the next window, a margin plus a per-installation spread after its start, so the next
// regular check gets a newer version and clients do not all come back at once.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "service/request_checks.h"
#include "service/service_records.h"

namespace tallybell::服务 {

// Revisions wrap into the window part beyond this; operator changes stop there.
inline constexpr std::uint64_t 最大修订 = (std::uint64_t{1} << 24) - 1;

struct 签发结果 {
  std::uint32_t status = 200;     // 200, or 404 when the channel assigns nothing
  std::string body;               // the policy, or a short JSON error
  std::optional<提供记录> offer;  // set when the rollout's target was offered
};

// 现在: seconds since 1970 (UTC) from the service's clock.
签发结果 签发策略(const 服务快照& 快照, const 解析请求& 请求, std::uint64_t 现在);

// The window start and checkAfter time (seconds) of an installation's policy in window w.
std::uint64_t 下次检查秒(const std::string& 安装标识, std::uint64_t 窗口, std::uint64_t 间隔);

}  // namespace tallybell::服务
