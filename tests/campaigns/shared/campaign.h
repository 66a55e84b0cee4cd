// What every campaign program shares: its options, its main(), its report, and the set-up
// and reading helpers of the campaigns (campaign_support.cpp).
// A campaign defines 本战役; main() parses the options, runs the tests and prints the report.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <utility>

#include <vector>

#include "coordinator/coordinator.h"
#include "storage/version_state.h"
#include "support/release_builder.h"
#include "support/test_service.h"
#include "support/update_fixture.h"

namespace tallybell::战役 {

struct 战役定义 {
  const char* 名称;  // "crash campaign", as the report's title says
  // Work a campaign runs in a copy of itself ("<program> --child ..."); nullptr: none.
  int (*子进程)(int argc, char** argv) = nullptr;
};
extern const 战役定义 本战役;

// Set by main() before the tests run.
extern bool 长模式;                 // --long
extern std::uint64_t 随机起点;      // --random-start N, else drawn; repeats a campaign's random choices

// The report after the title: counters in the order first counted, then the added lines.
std::uint64_t& 计(const std::string& 名称);
void 报告行(std::string 行);
void 打印报告();

// The object bytes the loopback service sends for an object of that size: every 8-byte
// word holds its own offset.
std::string 图案(std::uint64_t 大小);

// Installs 标识 with 文件 under 程序根/releases, active and last good in a state of
// generation 代次; returns the release directory's tree.
std::map<std::string, std::string> 布置已装(const std::filesystem::path& 程序根, const std::filesystem::path& 状态根,
                                           const std::string& 标识, const 测试::发布内容& 文件, std::uint64_t 代次,
                                           std::uint64_t 策略版本 = 0, const std::string& 附加成员 = {});

// A forced check of the roots against 解析地址 (tried in order), as an operator starts it.
更新协调器配置 协调器配置(const std::filesystem::path& 程序根, const std::filesystem::path& 状态根,
                        const std::filesystem::path& 缓存根, const std::vector<std::string>& 解析地址);
std::uint64_t 固定现在();  // 2026-12-06 10:00 UTC, the clock of runs whose back-off is checked

// Every event of 已排队 (id → its queued document, or empty when unknown) reached 服务 since
// request 起 under its own Idempotency-Key, its body that document (or naming that id), and
// one a prepared result; returns what failed and counts repeated deliveries.
std::vector<std::string> 核对投递(const 测试::测试服务& 服务, std::size_t 起,
                                 const std::map<std::string, std::string>& 已排队);

// The state under 状态根 (default when it does not load; 可用 says which).
本地版本状态 读状态(const std::filesystem::path& 状态根, bool* 可用 = nullptr);
std::size_t 排队事件数(const std::filesystem::path& 状态根);  // complete ".json" events

// A release published on the loopback service: the manifest listing 文件 at the service's
// object addresses, and the policy naming it there. Returns {manifest, policy}.
std::pair<std::string, std::string> 服务发布(const 测试::测试服务& 服务, const 测试::发布内容& 文件,
                                            测试::夹具策略 策略);

}  // namespace tallybell::战役
