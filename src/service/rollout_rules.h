// The rules of a rollout: sticky buckets, the plan that advances by itself and the health
// checks that stop it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "service/service_records.h"

namespace tallybell::服务 {

inline constexpr std::uint32_t 桶数 = 10000;

// A stable bucket in [0, 10000) from SHA-256 of the rollout id and the installation id:
// the same installation keeps its bucket for the rollout's whole life, so raising the
// percentage only ever adds installations and a resumed rollout has the same members.
std::uint32_t 推出桶(std::uint64_t 推出标识, const std::string& 安装标识);
bool 在推出中(const 推出记录& 推出, const std::string& 安装标识);

// The default plan: 1, 2, 5, 10, 20, 50, 100 % a day apart.
推出记录 默认推出(const std::string& 频道, const std::string& 目标, const std::string& 基础, std::uint64_t 现在);

// What the health checks and the plan ask for now, or nothing. A halt wins over a step.
struct 推出变更 {
  推出记录 新记录;
  std::string 说明;  // for the audit log
};
std::optional<推出变更> 评估推出(const 推出记录& 推出, const 推出统计& 统计, std::uint64_t 现在);

// A plan's steps as stored and as an operator writes them: "1,2,5" and back; false for
// anything but rising percentages of 1 to 100.
std::string 步骤文本(const std::vector<std::uint32_t>& 步骤);
bool 解析步骤(const std::string& 文本, std::vector<std::uint32_t>* 步骤);

}  // namespace tallybell::服务
