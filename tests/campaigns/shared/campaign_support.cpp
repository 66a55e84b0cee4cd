#include <cstdio>
#include <filesystem>

#include "common/time_text.h"

#include "shared/campaign.h"
#include "support/file_helpers.h"
#include "support/tree_compare.h"

namespace tallybell::战役 {

namespace fs = std::filesystem;

namespace {
std::vector<std::pair<std::string, std::uint64_t>> 计数表;
std::vector<std::string> 附加行;
}  // namespace

std::uint64_t& 计(const std::string& 名称) {
  for (auto& [键, 值] : 计数表) {
    if (键 == 名称) return 值;
  }
  return 计数表.emplace_back(名称, 0).second;
}

void 报告行(std::string 行) { 附加行.push_back(std::move(行)); }

void 打印报告() {
  for (const auto& [键, 值] : 计数表) std::printf("  %-60s %llu\n", 键.c_str(), static_cast<unsigned long long>(值));
  for (const auto& 行 : 附加行) std::printf("%s\n", 行.c_str());
}

std::string 图案(std::uint64_t 大小) {
  std::string 字节(static_cast<std::size_t>(大小), '\0');
  for (std::uint64_t i = 0; i < 大小; ++i) 字节[i] = static_cast<char>(((i & ~7ULL) >> (8 * (i & 7))) & 0xff);
  return 字节;
}

std::map<std::string, std::string> 布置已装(const fs::path& 程序根, const fs::path& 状态根, const std::string& 标识,
                                           const 测试::发布内容& 文件, std::uint64_t 代次, std::uint64_t 策略版本,
                                           const std::string& 附加成员) {
  测试::写入发布目录(程序根 / "releases" / 标识, 标识, 文件);
  本地版本状态 状态;
  状态.generation = 代次;
  状态.activeRelease = 状态.lastGoodRelease = std::wstring(标识.begin(), 标识.end());
  状态.confirmedHistory = {状态.activeRelease};
  状态.policyVersion = 策略版本;
  状态.preservedFields = 附加成员;
  测试::写测试文件(状态根 / "state.txt", 序列化本地版本状态(状态));
  return 测试::读取目录树(程序根 / "releases" / 标识);
}

本地版本状态 读状态(const fs::path& 状态根, bool* 可用) {
  本地版本状态 状态;
  std::string 文本;
  const bool 已加载 = 加载本地版本状态(状态根.wstring(), &文本, &状态);
  if (可用 != nullptr) *可用 = 已加载;
  return 已加载 ? 状态 : 本地版本状态{};
}

std::size_t 排队事件数(const fs::path& 状态根) {
  const fs::path 队列 = 状态根 / "results" / "pending";
  std::size_t 数量 = 0;
  for (const auto& 名称 : fs::exists(队列) ? 测试::目录内容(队列) : std::vector<std::string>{}) {
    数量 += 名称.size() > 5 && 名称.compare(名称.size() - 5, 5, ".json") == 0;
  }
  return 数量;
}

更新协调器配置 协调器配置(const fs::path& 程序根, const fs::path& 状态根, const fs::path& 缓存根,
                        const std::vector<std::string>& 解析地址) {
  更新协调器配置 配置;
  配置.programRoot = 程序根.wstring();
  配置.stateRoot = 状态根.wstring();
  配置.cacheRoot = 缓存根.wstring();
  for (const auto& 地址 : 解析地址) 配置.resolveUrls.emplace_back(地址.begin(), 地址.end());
  配置.forceCheck = true;  // a failed or killed run leaves a back-off; the next run goes ahead anyway
  配置.userId = 配置.diagnosticId = "campaign";
  return 配置;
}

std::uint64_t 固定现在() {
  std::uint64_t 值 = 0;
  合成UTC时间({2026, 12, 6, 10, 0, 0}, &值);
  return 值;
}

std::vector<std::string> 核对投递(const 测试::测试服务& 服务, std::size_t 起,
                                 const std::map<std::string, std::string>& 已排队) {
  std::vector<std::string> 问题;
  std::map<std::string, unsigned> 送达;
  bool 有准备事件 = false;
  const auto 请求 = 服务.已收请求();
  for (std::size_t i = 起; i < 请求.size(); ++i) {
    if (请求[i].path != "/update/v1/results") continue;
    const std::string 键 = 请求[i].请求头("Idempotency-Key");
    const auto 原文 = 已排队.find(键);
    if (原文 != 已排队.end() && !原文->second.empty() ? 请求[i].body != 原文->second
                                                     : 请求[i].body.find("\"eventId\":\"" + 键 + "\"") == std::string::npos) {
      问题.push_back("an event delivered under another key or with other bytes: " + 键);
    }
    计("repeated event deliveries (same key)") += 送达[键]++ > 0;
    有准备事件 |= 请求[i].body.find("\"result\":\"prepared\"") != std::string::npos;
  }
  for (const auto& [标识, 文档] : 已排队) {
    if (送达.count(标识) == 0) 问题.push_back("event lost: " + 标识);
  }
  if (!有准备事件) 问题.push_back("no prepared event delivered");
  return 问题;
}

std::pair<std::string, std::string> 服务发布(const 测试::测试服务& 服务, const 测试::发布内容& 文件,
                                            测试::夹具策略 策略) {
  std::string 列表;
  for (const auto& [路径, 内容] : 文件) {
    const std::string 哈希 = 测试::测试SHA256(内容);
    列表 += std::string(列表.empty() ? "" : ",") + "{\"path\":\"" + 路径 + "\",\"sha256\":\"" + 哈希 +
            "\",\"size\":" + std::to_string(内容.size()) + ",\"downloadUrls\":[\"" +
            服务.地址("/objects/" + 哈希 + ".object") + "\"]}";
  }
  const std::string 清单 = "{\"formatVersion\":1,\"releaseId\":\"" + 策略.targetReleaseId + "\",\"files\":[" + 列表 + "]}";
  策略.resultReportUrls = {服务.地址("/update/v1/results")};
  std::string 策略文本 = 测试::生成策略文本(策略, 测试::测试SHA256(清单));
  const std::string 路径 = "/releases/" + 策略.targetReleaseId + "/manifest.json";
  const std::string 旧地址 = "https://updates.tallybell.example" + 路径;
  策略文本.replace(策略文本.find(旧地址), 旧地址.size(), 服务.地址(路径));
  return {清单, 策略文本};
}

}  // namespace tallybell::战役
