// What every campaign program shares: its options, its main(), the frame of its report,
// and the set-up and reading helpers of the campaigns (campaign_support.cpp).
// A campaign defines 本战役; main() parses the options, runs the tests and prints the report.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <utility>

#include "storage/version_state.h"
#include "support/release_builder.h"
#include "support/test_service.h"
#include "support/update_fixture.h"

namespace tallybell::战役 {

struct 战役定义 {
  const char* 名称;           // "crash campaign", as the report's title says
  void (*打印报告)();         // the campaign's own lines, after the title
  // Work a campaign runs in a copy of itself ("<program> --child ..."); nullptr: none.
  int (*子进程)(int argc, char** argv) = nullptr;
};
extern const 战役定义 本战役;

// Set by main() before the tests run.
extern bool 长模式;                 // --long
extern std::uint64_t 随机起点;      // --random-start N, else drawn; repeats a campaign's random choices

// The object bytes the loopback service sends for an object of that size: every 8-byte
// word holds its own offset.
std::string 图案(std::uint64_t 大小);
std::string 窄(const std::wstring& 文本);  // for messages: non-ASCII becomes '?'

// Installs 标识 with 文件 under 程序根/releases, active and last good in a state of
// generation 代次; returns the release directory's tree.
std::map<std::string, std::string> 布置已装(const std::filesystem::path& 程序根, const std::filesystem::path& 状态根,
                                           const std::string& 标识, const 测试::发布内容& 文件, std::uint64_t 代次,
                                           std::uint64_t 策略版本 = 0, const std::string& 附加成员 = {});

// The state under 状态根 (default when it does not load; 可用 says which).
本地版本状态 读状态(const std::filesystem::path& 状态根, bool* 可用 = nullptr);
std::size_t 排队事件数(const std::filesystem::path& 状态根);

// A release published on the loopback service: the manifest listing 文件 at the service's
// object addresses, and the policy naming it there. Returns {manifest, policy}.
std::pair<std::string, std::string> 服务发布(const 测试::测试服务& 服务, const 测试::发布内容& 文件,
                                            测试::夹具策略 策略);

}  // namespace tallybell::战役
