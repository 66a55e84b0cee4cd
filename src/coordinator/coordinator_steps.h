// The pieces of an update run that do not decide anything: state loading, the failure
// back-off, result events and the list of installed releases.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "coordinator/coordinator_config.h"
#include "documents/policy.h"
#include "release/assembly.h"
#include "storage/version_state.h"
#include "transport/json_http_transport.h"

namespace tallybell {

// The current time from the configuration's clock, or the system time.
std::uint64_t 当前时间(const 更新协调器配置& 配置);

// Loads the state; when neither file is usable, saves a fresh default state with
// generation 1 instead. False when that rebuild cannot be saved, and when a state file
// exists but cannot be read (nothing is then written).
bool 加载或重建状态(const std::wstring& stateRoot, 本地版本状态* 状态);

// Saves 状态 as the next generation. False (state unchanged) when the generation is
// exhausted, another run committed since 状态 was read, or the save fails.
bool 提交下一代状态(const std::wstring& stateRoot, 本地版本状态* 状态);

// Pushes nextCheckAt back by 5, 15 or 60 minutes after the 1st, 2nd and later consecutive
// failure, on the in-memory state, and saves it unless another run committed since it was
// read. Problems are not reported: the run's own failure is what the caller returns.
void 记录更新失败(const 更新协调器配置& 配置, 本地版本状态* 状态);

// The delay of the back-off for the n-th consecutive failure, in 100 ns units.
std::uint64_t 退避延迟(std::uint64_t 失败次数);

// Queues one result event for the attempt and makes one delivery pass to the policy's
// result URLs (nothing is sent when it has none). Outcomes are ignored.
void 记录并投递结果(const 更新协调器配置& 配置, const 版本策略& 策略, const std::string& 设备标识,
                    const 本地版本状态& 状态, const char* 结果, const char* 失败阶段, std::uint32_t 代码,
                    JsonHttp传输* 传输);

// The failure stage a result event names for an assembly code.
const char* 组装失败阶段(std::uint32_t 代码);

// The installed releases offered for reuse: active, last good, confirmed history, rescue;
// each valid id once, and only when its own manifest reads and parses.
std::vector<已有版本> 收集已有版本(const std::wstring& programRoot, const 本地版本状态& 状态);

}  // namespace tallybell
