// Pieces shared by the quarantine recovery files; not used elsewhere.
#pragma once

#include <string>

#include "coordinator/coordinator_config.h"
#include "storage/version_state.h"

namespace tallybell {

// programRoot/releases/<标识>
std::wstring 发布目录路径(const std::wstring& programRoot, const std::wstring& 标识);

// Writes the "quarantine-commit" line for the state just committed.
void 记录恢复提交(const 更新协调器配置& 配置, const 本地版本状态& 已提交, const std::string& 指纹);

}  // namespace tallybell
