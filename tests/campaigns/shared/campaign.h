// What every campaign program shares: its options, its main(), its report, the set-up and
// reading helpers, and the checks of the fault campaigns (campaign_support.cpp). A campaign
// includes this one header for the test framework, the oracle and the test support it uses,
// and defines 本战役; main() parses the options, runs the tests and prints the report.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "common/text.h"
#include "coordinator/coordinator.h"
#include "shared/crash_oracle.h"
#include "storage/version_state.h"
#include "support/child_process.h"
#include "support/environment_guard.h"
#include "support/file_helpers.h"
#include "support/lock_namespace.h"
#include "support/release_builder.h"
#include "support/state_files.h"
#include "support/temp_dir.h"
#include "support/test_service.h"
#include "support/tree_compare.h"
#include "support/update_fixture.h"
#include "transport/download_client.h"
#include "transport/json_http_client.h"

namespace tallybell {
namespace fs = std::filesystem;
}

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

// The report after the title: counters in the order first counted, then the added lines
// (printf-formatted).
std::uint64_t& 计(const std::string& 名称);
void 报告行(const char* 格式, ...) __attribute__((format(printf, 1, 2)));
double 秒数(std::chrono::steady_clock::time_point 开始);  // seconds since 开始

// The object bytes the loopback service sends for an object of that size: every 8-byte
// word holds its own offset.
std::string 图案(std::uint64_t 大小);

// Installs 标识 with 文件 under 程序根/releases, active and last good in a state of
// generation 代次.
void 布置已装(const fs::path& 程序根, const fs::path& 状态根, const std::string& 标识, const 测试::发布内容& 文件,
              std::uint64_t 代次, std::uint64_t 策略版本 = 0, const std::string& 附加成员 = {});

// What the roots must agree with when 文件 are published as 目标 under 策略文本 and 已装 is
// installed (its tree in 原有目录 when given).
崩溃测试::预期 预期值(const fs::path& 程序根, const fs::path& 状态根, const fs::path& 缓存根, const std::string& 目标,
                     const std::string& 策略文本, const 测试::发布内容& 文件, const std::string& 已装 = {});

// A forced check of the roots against 解析地址 (tried in order), as an operator starts it,
// on the clock of 固定现在 (2026-12-06 10:00 UTC) when 固定时钟.
更新协调器配置 协调器配置(const fs::path& 程序根, const fs::path& 状态根, const fs::path& 缓存根, const std::vector<std::string>& 解析地址, bool 固定时钟 = true);
std::uint64_t 固定现在();

// The requests 服务 received since the 起-th (only those for 路径 when given).
std::vector<测试::记录的请求> 请求自(const 测试::测试服务& 服务, std::size_t 起, const std::string& 路径 = {});

// Every event of 已排队 (id → its queued document, or empty when unknown) reached 服务 since
// request 起 under its own Idempotency-Key, its body that document (or naming that id), and
// one a prepared result; returns what failed and counts repeated deliveries.
std::vector<std::string> 核对投递(const 测试::测试服务& 服务, std::size_t 起, const std::map<std::string, std::string>& 已排队);

std::size_t 排队事件数(const fs::path& 状态根);  // complete ".json" events

// A release published on the loopback service: the manifest listing 文件 at the service's
// object addresses ("/objects/<sha256>"), and the policy naming it there. Returns
// {manifest, policy}.
std::pair<std::string, std::string> 服务发布(const 测试::测试服务& 服务, const 测试::发布内容& 文件, 测试::夹具策略 策略);
// Has 服务 answer as a sound one does for the release r2 published as 发布: documents after
// 延迟毫秒, objects after half of that, those over 100 000 bytes in pieces of 16 KiB
// 分片毫秒 apart (0: at once). Restarts every answer sequence.
void 健全路由(测试::测试服务& 服务, const 测试::发布内容& 文件, const std::pair<std::string, std::string>& 发布, std::uint32_t 延迟毫秒 = 0, std::uint32_t 分片毫秒 = 0);

// How one coordinator run ended.
struct 运行结局 {
  std::uint32_t 代码 = 0;
  std::wstring 错误;
  更新协调器结果 结果;
};
运行结局 运行协调器(const 更新协调器配置& 配置, JsonHttp传输* 服务交换, 下载传输* 下载通道);

// The installation a fault campaign breaks and repairs: the roots and what they must agree
// with, and the release published (清单 listing 文件 under policy version 策略版本).
struct 故障场地 {
  崩溃测试::预期 值;
  崩溃测试::观察记录 记录;
  std::string 清单;
  测试::发布内容 文件;
  std::uint64_t 策略版本 = 1;

  // What every run must leave: the oracle's promises; after a success the release prepared
  // exactly as published; after a failure an update run's failure code with its message and
  // no release claimed. Returns one line per broken promise.
  std::vector<std::string> 核对(const 运行结局& 结局);
  // The oracle's promises and the release prepared exactly as published, pending.
  std::vector<std::string> 核对已准备();
  // The same for the run without faults that follows a faulted one: it must succeed and
  // leave no event queued (the campaign checks where they went).
  std::vector<std::string> 核对复原(const 运行结局& 结局);
};

// Reports each of 问题 as a failure at 位置.
void 报告问题(const std::string& 位置, const std::vector<std::string>& 问题);

}  // namespace tallybell::战役
