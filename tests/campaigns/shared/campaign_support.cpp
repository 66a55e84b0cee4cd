#include <algorithm>
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "common/time_text.h"
#include "shared/campaign.h"

namespace tallybell::战役 {

bool 长模式 = false;
std::uint64_t 随机起点 = 0;

namespace {
std::vector<std::pair<std::string, std::uint64_t>> 计数表;
std::vector<std::string> 附加行;

std::string 全部替换(std::string 文本, const std::string& 旧, const std::string& 新) {
  for (auto 位置 = 文本.find(旧); 位置 != std::string::npos; 位置 = 文本.find(旧, 位置 + 新.size())) 文本.replace(位置, 旧.size(), 新);
  return 文本;
}
}  // namespace

std::uint64_t& 计(const std::string& 名称) {
  for (auto& [键, 值] : 计数表) {
    if (键 == 名称) return 值;
  }
  return 计数表.emplace_back(名称, 0).second;
}

void 报告行(const char* 格式, ...) {
  char 行[400];
  va_list 参数;
  va_start(参数, 格式);
  std::vsnprintf(行, sizeof 行, 格式, 参数);
  va_end(参数);
  附加行.emplace_back(行);
}

double 秒数(std::chrono::steady_clock::time_point 开始) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - 开始).count();
}

std::string 图案(std::uint64_t 大小) {
  std::string 字节(static_cast<std::size_t>(大小), '\0');
  for (std::uint64_t i = 0; i < 大小; ++i) 字节[i] = static_cast<char>(((i & ~7ULL) >> (8 * (i & 7))) & 0xff);
  return 字节;
}

void 布置已装(const fs::path& 程序根, const fs::path& 状态根, const std::string& 标识, const 测试::发布内容& 文件,
              std::uint64_t 代次, std::uint64_t 策略版本, const std::string& 附加成员) {
  测试::写入发布目录(程序根 / "releases" / 标识, 标识, 文件);
  本地版本状态 状态;
  状态.generation = 代次, 状态.policyVersion = 策略版本, 状态.preservedFields = 附加成员;
  状态.activeRelease = 状态.lastGoodRelease = std::wstring(标识.begin(), 标识.end());
  状态.confirmedHistory = {状态.activeRelease};
  测试::写状态文件(状态根, 状态);
}

崩溃测试::预期 预期值(const fs::path& 程序根, const fs::path& 状态根, const fs::path& 缓存根, const std::string& 目标,
                     const std::string& 策略文本, const 测试::发布内容& 文件, const std::string& 已装) {
  崩溃测试::预期 值{程序根, 状态根, 缓存根, 目标, 策略文本, {}, {}, 已装};
  for (const auto& [路径, 内容] : 文件) 值.对象[测试::测试SHA256(内容)] = 内容;
  if (!已装.empty() && fs::exists(程序根 / "releases" / 已装)) 值.原有目录[已装] = 测试::读取目录树(程序根 / "releases" / 已装);
  return 值;
}

std::size_t 排队事件数(const fs::path& 状态根) {
  const fs::path 队列 = 状态根 / "results" / "pending";
  const auto 名称 = fs::exists(队列) ? 测试::目录内容(队列) : std::vector<std::string>{};
  return std::count_if(名称.begin(), 名称.end(), [](const std::string& 名) { return fs::path(名).extension() == ".json"; });
}

更新协调器配置 协调器配置(const fs::path& 程序根, const fs::path& 状态根, const fs::path& 缓存根, const std::vector<std::string>& 解析地址, bool 固定时钟) {
  更新协调器配置 配置;
  配置.programRoot = 程序根.wstring();
  配置.stateRoot = 状态根.wstring();
  配置.cacheRoot = 缓存根.wstring();
  for (const auto& 地址 : 解析地址) 配置.resolveUrls.emplace_back(地址.begin(), 地址.end());
  配置.forceCheck = true;  // a failed or killed run leaves a back-off; the next run goes ahead anyway
  配置.userId = 配置.diagnosticId = "campaign";
  if (固定时钟) 配置.clock = 固定现在;
  return 配置;
}

std::uint64_t 固定现在() {
  std::uint64_t 值 = 0;
  合成UTC时间({2026, 12, 6, 10, 0, 0}, &值);
  return 值;
}

std::vector<测试::记录的请求> 请求自(const 测试::测试服务& 服务, std::size_t 起, const std::string& 路径) {
  std::vector<测试::记录的请求> 请求 = 服务.已收请求();
  请求.erase(请求.begin(), 请求.begin() + static_cast<std::ptrdiff_t>(std::min(起, 请求.size())));
  请求.erase(std::remove_if(请求.begin(), 请求.end(), [&](const auto& 项) { return !路径.empty() && 项.path != 路径; }), 请求.end());
  return 请求;
}

std::vector<std::string> 核对投递(const 测试::测试服务& 服务, std::size_t 起, const std::map<std::string, std::string>& 已排队) {
  std::vector<std::string> 问题;
  std::map<std::string, unsigned> 送达;
  bool 有准备事件 = false;
  for (const auto& 请求 : 请求自(服务, 起, "/update/v1/results")) {
    const std::string 键 = 请求.请求头("Idempotency-Key");
    const auto 原文 = 已排队.find(键);
    if (原文 != 已排队.end() && !原文->second.empty() ? 请求.body != 原文->second
                                                     : 请求.body.find("\"eventId\":\"" + 键 + "\"") == std::string::npos) {
      问题.push_back("an event delivered under another key or with other bytes: " + 键);
    }
    计("repeated event deliveries (same key)") += 送达[键]++ > 0;
    有准备事件 |= 请求.body.find("\"result\":\"prepared\"") != std::string::npos;
  }
  for (const auto& [标识, 文档] : 已排队) {
    if (送达.count(标识) == 0) 问题.push_back("event lost: " + 标识);
  }
  if (!有准备事件) 问题.push_back("no prepared event delivered");
  return 问题;
}

std::pair<std::string, std::string> 服务发布(const 测试::测试服务& 服务, const 测试::发布内容& 文件, 测试::夹具策略 策略) {
  const std::string 清单 = 全部替换(测试::生成发布清单文本(策略.targetReleaseId, 文件), "https://downloads.tallybell.example", 服务.地址(""));
  策略.resultReportUrls = {服务.地址("/update/v1/results")};
  return {清单, 全部替换(测试::生成策略文本(策略, 测试::测试SHA256(清单)), "https://updates.tallybell.example", 服务.地址(""))};
}

void 健全路由(测试::测试服务& 服务, const 测试::发布内容& 文件, const std::pair<std::string, std::string>& 发布, std::uint32_t 延迟毫秒, std::uint32_t 分片毫秒) {
  for (const auto& [路径, 内容] : 文件) {
    测试::服务应答 答 = 内容 == 图案(内容.size()) ? 测试::对象应答(内容.size()) : 测试::应答(200, 内容);
    const bool 分片 = 分片毫秒 > 0 && 内容.size() > 100000;
    答.trickleBytes = 分片 ? 16384 : 0, 答.trickleMs = 分片 ? 分片毫秒 : 0, 答.delayMs = 延迟毫秒 / 2;
    服务.设置路由("GET", "/objects/" + 测试::测试SHA256(内容), {答});
  }
  const auto 文档 = [&](const char* 方法, const std::string& 路径, 测试::服务应答 答) {
    答.delayMs = 延迟毫秒;
    服务.设置路由(方法, 路径, {答});
  };
  文档("POST", "/update/v1/resolve", 测试::应答(200, 发布.second));
  文档("GET", "/releases/r2/manifest.json", 测试::应答(200, 发布.first));
  文档("POST", "/update/v1/results", 测试::应答(204));
}

运行结局 运行协调器(const 更新协调器配置& 配置, JsonHttp传输* 服务交换, 下载传输* 下载通道) {
  运行结局 结局;
  结局.代码 = 运行更新协调器(配置, 服务交换, 下载通道, &结局.结果, &结局.错误);
  return 结局;
}

std::vector<std::string> 故障场地::核对(const 运行结局& 结局) {
  std::vector<std::string> 问题 = 结局.代码 == 0 ? 核对已准备() : 崩溃测试::检查现场(值, &记录);
  if (结局.错误.empty() != (结局.代码 == 0)) 问题.push_back("an error text with success, or a failure without one");
  if (结局.代码 != 0 && (结局.代码 < 3002 || 结局.代码 > 3016)) 问题.push_back("not a failure code of an update run");
  if (结局.代码 != 0 && 结局.结果.releasePrepared) 问题.push_back("a failure that claims a prepared release");
  if (结局.代码 == 0 && (!结局.结果.releasePrepared || 结局.结果.targetReleaseId != 值.目标发布)) {
    问题.push_back("no prepared release reported");
  }
  return 问题;
}

std::vector<std::string> 故障场地::核对已准备() {
  std::vector<std::string> 问题 = 崩溃测试::检查现场(值, &记录);
  for (auto& 项 : 崩溃测试::检查已准备(值, 清单, 文件, 策略版本)) 问题.push_back(std::move(项));
  return 问题;
}

std::vector<std::string> 故障场地::核对复原(const 运行结局& 结局) {
  std::vector<std::string> 问题 = 核对(结局);
  if (结局.代码 != 0) 问题.push_back("the run without faults failed with " + std::to_string(结局.代码) + " " + 宽转UTF8宽松(结局.错误));
  if (排队事件数(值.状态根) != 0) 问题.push_back("result events still queued after the run without faults");
  return 问题;
}

void 报告问题(const std::string& 位置, const std::vector<std::string>& 问题) {
  for (const auto& 项 : 问题) ADD_FAILURE() << 位置 << ": " << 项;
}

}  // namespace tallybell::战役

int main(int argc, char** argv) {
  using namespace tallybell::战役;
  if (本战役.子进程 != nullptr && argc >= 2 && std::strcmp(argv[1], "--child") == 0) return 本战役.子进程(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  随机起点 = std::random_device{}();
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--long") == 0) {
      长模式 = true;
    } else if (std::strcmp(argv[i], "--random-start") == 0 && i + 1 < argc) {
      随机起点 = std::strtoull(argv[++i], nullptr, 10);
    } else {
      std::fprintf(stderr, "usage: %s [--long] [--random-start N] [gtest options]\n", argv[0]);
      return 2;
    }
  }
  // Campaigns flush thousands of files and kill processes at random; a RAM disk loses
  // nothing a killed process had handed to the kernel and keeps those runs short, with the
  // same create, rename and replace semantics.
  std::error_code 错误;
  if (std::getenv("TMPDIR") == nullptr && std::filesystem::is_directory("/dev/shm", 错误)) ::setenv("TMPDIR", "/dev/shm", 1);
  const auto 开始 = std::chrono::steady_clock::now();
  const int 结果 = RUN_ALL_TESTS();
  std::printf("\n%s (%s mode, random start %llu)\n", 本战役.名称, 长模式 ? "long" : "short", static_cast<unsigned long long>(随机起点));
  for (const auto& [键, 值] : 计数表) std::printf("  %-60s %llu\n", 键.c_str(), static_cast<unsigned long long>(值));
  for (const auto& 行 : 附加行) std::printf("%s\n", 行.c_str());
  std::printf("  time %.1f s\n", 秒数(开始));
  return 结果;
}
