// One complete update run: the work behind the background check.
#pragma once

#include <cstdint>
#include <string>

#include "coordinator/coordinator_config.h"
#include "transport/download_transport.h"
#include "transport/json_http_transport.h"

namespace tallybell {

// Loads (or rebuilds) the local state, honours nextCheckAt, takes the single-instance lock,
// asks the service for the policy, stores a newer one, decides about the target release
// and, when needed, fetches its manifest and has it assembled and committed as pending.
// Outcomes of manifest downloads and assemblies become result events, delivered at once.
// Returns 0 for every outcome that is not a failure (told apart by *结果's flags) or a
// failure code with its message in *错误. *错误 may be null; nothing else may.
std::uint32_t 运行更新协调器(const 更新协调器配置& 配置, JsonHttp传输* 服务交换, 下载传输* 下载通道,
                             更新协调器结果* 结果, std::wstring* 错误);

}  // namespace tallybell
