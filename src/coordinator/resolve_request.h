// Asking the update service which release this installation should run.
#pragma once

#include <cstdint>
#include <string>

#include "coordinator/coordinator_config.h"
#include "documents/policy.h"
#include "storage/version_state.h"
#include "transport/json_http_transport.h"

namespace tallybell {

// The resolve request body: one compact JSON object with the nine members currentReleaseId,
// installationId, lastGoodReleaseId, launcherVersion, os, productId, quarantinedReleaseIds,
// updateCoreVersion and userId, in that (byte) order. A release id that is not valid UTF-16
// is sent as "". False (and *正文 cleared) when 设备标识 or userId is not valid UTF-8.
bool 生成解析请求正文(const 本地版本状态& 状态, const std::string& 设备标识,
                      const std::string& userId, std::string* 正文);

// POSTs the resolve request to each of 配置.resolveUrls in turn, all with one fresh
// X-Request-Id, until one answers with status 200. That answer decides: a valid policy is
// handed out in *策略 together with the response body byte for byte in *原始文本 (true),
// an invalid one ends the call (false) without asking the remaining endpoints. A transport
// failure or any other status moves on to the next endpoint.
// On failure *策略 and *原始文本 are untouched and *错误 holds the sentence of the last
// thing that went wrong (the transport's, the status, the policy parser's, or the request's
// own); on success *错误 is cleared.
bool 请求版本策略(const 更新协调器配置& 配置, const 本地版本状态& 状态, const std::string& 设备标识,
                  JsonHttp传输* 传输, 版本策略* 策略, std::string* 原始文本,
                  std::wstring* 错误 = nullptr);

}  // namespace tallybell
