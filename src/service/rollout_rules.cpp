#include "service/rollout_rules.h"

#include <cstdlib>

#include "documents/sha256.h"

namespace tallybell::服务 {

const char* 推出状态文本(推出状态 状态) {
  switch (状态) {
    case 推出状态::进行中: return "active";
    case 推出状态::已暂停: return "paused";
    case 推出状态::已停止: return "halted";
    case 推出状态::已回滚: return "rolled-back";
    case 推出状态::已完成: return "complete";
  }
  return "unknown";
}

bool 解析推出状态(const std::string& 文本, 推出状态* 状态) {
  for (const auto 候选 : {推出状态::进行中, 推出状态::已暂停, 推出状态::已停止, 推出状态::已回滚, 推出状态::已完成}) {
    if (文本 == 推出状态文本(候选)) {
      *状态 = 候选;
      return true;
    }
  }
  return false;
}

std::uint32_t 推出桶(std::uint64_t 推出标识, const std::string& 安装标识) {
  const std::string 输入 = std::to_string(推出标识) + ":" + 安装标识;
  unsigned char 摘要[SHA256字节数] = {};
  计算数据SHA256(输入.data(), 输入.size(), 摘要);
  std::uint64_t 值 = 0;
  for (int i = 0; i < 8; ++i) 值 = (值 << 8) | 摘要[i];
  return static_cast<std::uint32_t>(值 % 桶数);
}

bool 在推出中(const 推出记录& 推出, const std::string& 安装标识) {
  return 推出桶(推出.id, 安装标识) < 推出.percent * (桶数 / 100);
}

推出记录 默认推出(const std::string& 频道, const std::string& 目标, const std::string& 基础, std::uint64_t 现在) {
  推出记录 推出;
  推出.channel = 频道;
  推出.target = 目标;
  推出.base = 基础;
  推出.steps = {1, 2, 5, 10, 20, 50, 100};
  推出.percent = 推出.steps.front();
  推出.stepStartedAt = 现在;
  推出.createdAt = 现在;
  return 推出;
}

namespace {

std::optional<std::string> 停止原因(const 推出记录& 推出, const 推出统计& 统计) {
  const auto& 限 = 推出.limits;
  if (统计.results >= 限.minResults && 统计.results > 0) {
    if (限.maxFailures != 0 && 统计.failures >= 限.maxFailures) {
      return std::to_string(统计.failures) + " failed results reached the limit of " + std::to_string(限.maxFailures);
    }
    if (限.maxFailurePercent != 0 && 统计.failures * 100 > 统计.results * 限.maxFailurePercent) {
      return std::to_string(统计.failures) + " of " + std::to_string(统计.results) + " results failed, over " +
             std::to_string(限.maxFailurePercent) + " %";
    }
  }
  if (限.maxSilentPercent != 0 && 统计.ripeOffersInStep >= 限.minSilentOffers && 统计.ripeOffersInStep > 0 &&
      统计.silentInStep * 100 > 统计.ripeOffersInStep * 限.maxSilentPercent) {
    return std::to_string(统计.silentInStep) + " of " + std::to_string(统计.ripeOffersInStep) +
           " installations offered the release in this step sent no result within " +
           std::to_string(限.silentAfterSeconds) + " s, over " + std::to_string(限.maxSilentPercent) + " %";
  }
  return std::nullopt;
}

}  // namespace

std::optional<推出变更> 评估推出(const 推出记录& 推出, const 推出统计& 统计, std::uint64_t 现在) {
  // A rollout that reached everyone can still be halted: status then says why, and an
  // operator rolls it back.
  if (推出.state != 推出状态::进行中 && 推出.state != 推出状态::已完成) return std::nullopt;
  推出变更 变更{推出, {}};
  if (auto 原因 = 停止原因(推出, 统计)) {
    变更.新记录.state = 推出状态::已停止;
    变更.新记录.haltReason = *原因;
    变更.说明 = "halted rollout " + std::to_string(推出.id) + " of " + 推出.channel + ": " + *原因;
    return 变更;
  }
  const std::size_t 下一步 = std::size_t{推出.stepIndex} + 1;
  if (推出.state != 推出状态::进行中 || 下一步 >= 推出.steps.size() || 现在 < 推出.stepStartedAt + 推出.stepSeconds) return std::nullopt;
  变更.新记录.stepIndex = static_cast<std::uint32_t>(下一步);
  变更.新记录.percent = 推出.steps[下一步];
  变更.新记录.stepStartedAt = 现在;
  if (变更.新记录.percent == 100) 变更.新记录.state = 推出状态::已完成;
  变更.说明 = "rollout " + std::to_string(推出.id) + " of " + 推出.channel + " advanced to " +
              std::to_string(变更.新记录.percent) + " % (step " + std::to_string(下一步 + 1) + ")";
  return 变更;
}

std::string 步骤文本(const std::vector<std::uint32_t>& 步骤) {
  std::string 文本;
  for (const auto 值 : 步骤) 文本 += (文本.empty() ? "" : ",") + std::to_string(值);
  return 文本;
}

bool 解析步骤(const std::string& 文本, std::vector<std::uint32_t>* 步骤) {
  std::vector<std::uint32_t> 结果;
  std::size_t 位置 = 0;
  while (位置 < 文本.size()) {
    const auto 结束 = 文本.find(',', 位置);
    const std::string 项 = 文本.substr(位置, 结束 == std::string::npos ? std::string::npos : 结束 - 位置);
    if (项.empty() || 项.size() > 3 || 项.find_first_not_of("0123456789") != std::string::npos) return false;
    const auto 值 = static_cast<std::uint32_t>(std::strtoul(项.c_str(), nullptr, 10));
    if (值 < 1 || 值 > 100 || (!结果.empty() && 值 <= 结果.back())) return false;
    结果.push_back(值);
    if (结束 == std::string::npos) break;
    位置 = 结束 + 1;
  }
  *步骤 = std::move(结果);
  return true;
}

}  // namespace tallybell::服务
