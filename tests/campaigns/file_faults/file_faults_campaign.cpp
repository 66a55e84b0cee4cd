// File-fault campaign: a complete update run (resolve, manifest, downloads, assembly,
// state, result events) is repeated with the Nth file call failing, for every N and for
// each kind of fault (disk full, I/O error, short write, failed flush, failed rename).
// Every faulted run must end with a failure code or with a correct success, never with a
// success that lacks data or holds wrong data; installed releases, the installation
// identity and the cache stay sound; and the next run without faults prepares the release.
//
//   tallybell-file_faults-campaign          short mode (CI): every N of the small kinds,
//                                           every k-th N of the large ones
//   tallybell-file_faults-campaign --long   every N of every kind, plus a disk that stays
//                                           full from call N on
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "common/time_text.h"
#include "common/text.h"
#include "coordinator/coordinator.h"
#include "documents/manifest.h"
#include "release/verification.h"
#include "storage/version_state.h"
#include "shared/campaign.h"
#include "shared/crash_oracle.h"
#include "support/fault_injection.h"
#include "support/file_helpers.h"
#include "support/lock_namespace.h"
#include "support/release_builder.h"
#include "support/temp_dir.h"
#include "support/tree_compare.h"
#include "support/update_fixture.h"
#include "transport/offline_fixture.h"

namespace tallybell {
namespace {

namespace fs = std::filesystem;
using namespace 测试;

using 战役::长模式;

// One kind of fault as the campaign drives it.
struct 故障种类 {
  const char* 名称;
  故障类型 类型;
  bool 持续;
  // Short mode: every 步长-th N (1: all; 0: none, a long-mode kind). Long mode takes every N.
  std::uint64_t 短模式步长;
};

const 故障种类 故障种类表[] = {
    {"disk-full", 故障类型::磁盘已满, false, 3},
    {"io-error", 故障类型::输入输出错误, false, 5},
    {"short-write", 故障类型::写入不足, false, 1},
    {"failed-flush", 故障类型::刷新失败, false, 1},
    {"failed-rename", 故障类型::重命名失败, false, 1},
    {"disk-stays-full", 故障类型::磁盘已满, true, 0},
};

// A starting point of a run: what is installed, what the service offers.
struct 场景 {
  std::string 名称;
  夹具策略 策略;
  发布内容 新版文件;
  // Installed before the run (active and last good), with its files; empty for a fresh
  // installation.
  std::string 已装版本;
  发布内容 已装文件;
  // Objects already in the cache before the run.
  发布内容 缓存对象;
  bool 预置安装标识 = false;
};

std::vector<场景> 场景表() {
  // A file of several read and write pieces, so that faults land in the middle of copies
  // and downloads too.
  const std::string 大文件 = 战役::图案(150000);

  const std::string 缓存 = std::string(3000, 'c');
  // Fresh: nothing installed. Update: r1 installed, one object of r3 already cached, one
  // file shared with r1, and an installation identity in place.
  return {{"fresh-installation", {1, "assign-1", "r2"},
           {{"Tallybell.exe", 大文件}, {"lib/core.dll", "core-2"}, {"data/empty.txt", ""}}, "", {}, {}, false},
          {"update-from-installed", {4, "assign-1", "r3"},
           {{"Tallybell.exe", 大文件.substr(0, 90000)}, {"lib/core.dll", "core-shared"}, {"data/cached.bin", 缓存}},
           "r1", {{"Tallybell.exe", "exe-1"}, {"lib/core.dll", "core-shared"}}, {{"data/cached.bin", 缓存}}, true}};
}

const char* const 预置标识 = "0123abcd-0123-abcd-0123-0123456789ab\n";

// Per scenario and kind: what the campaign saw.
struct 统计 {
  unsigned long long 适用调用 = 0;  // applicable calls of the clean run
  unsigned long long 覆盖 = 0;      // N at which a fault was injected
  unsigned long long 成功 = 0;      // faulted runs that still ended with a correct success
  std::map<std::uint32_t, std::uint64_t> 失败码;
  unsigned long long 残留 = 0;  // clean follow-up runs that left staging or temporary files behind
};

class 文件故障战役 : public ::testing::Test {
 protected:
  测试::私有锁命名空间 锁空间_;
  测试临时目录 目录_;

  fs::path 模板() const { return 目录_.子路径("template"); }
  fs::path 工作() const { return 目录_.子路径("work"); }
  fs::path 状态根() const { return 工作() / "state"; }

  // Lays out the scenario once; every run starts from a fresh copy of it.
  void 准备模板(const 场景& 场景) {
    场景_ = 场景;
    清单_ = 写入更新夹具(模板() / "fixture", 场景.策略, 场景.新版文件);
    策略文本_ = 读测试文件(模板() / "fixture" / "policy.json");
    fs::create_directories(模板() / "program");
    fs::create_directories(模板() / "state");
    fs::create_directories(模板() / "cache");
    值_ = {工作() / "program", 状态根(), 工作() / "cache", 场景.策略.targetReleaseId, 策略文本_, {}, {}, 场景.已装版本};
    for (const auto& [路径, 内容] : 场景.新版文件) 值_.对象[测试SHA256(内容)] = 内容;
    if (!场景.已装版本.empty()) {
      值_.原有目录[场景.已装版本] = 战役::布置已装(模板() / "program", 模板() / "state", 场景.已装版本, 场景.已装文件, 3,
                                                场景.策略.policyVersion - 1);
    }
    for (const auto& [路径, 内容] : 场景.缓存对象) {
      写测试文件(模板() / "cache" / (测试SHA256(内容) + ".object"), 内容);
    }
    if (场景.预置安装标识) 写测试文件(模板() / "state" / "state" / "installation-id.txt", 预置标识);
  }

  void 重置工作区() {
    std::error_code 错误;
    fs::remove_all(工作(), 错误);
    fs::copy(模板(), 工作(), fs::copy_options::recursive);
  }

  std::uint32_t 运行(std::wstring* 错误) {
    离线更新夹具传输 夹具((工作() / "fixture").wstring());
    更新协调器配置 配置 = 战役::协调器配置(工作() / "program", 状态根(), 工作() / "cache",
                                           {"https://updates.tallybell.example/update/v1/resolve"});
    配置.clock = 战役::固定现在;
    return 运行更新协调器(配置, &夹具, &夹具, &结果_, 错误);
  }

  // A run that reports success must have prepared exactly what was published.
  std::vector<std::string> 检查成功() const {
    std::vector<std::string> 问题 = 崩溃测试::检查已准备(值_, 清单_, 场景_.新版文件, 场景_.策略.policyVersion);
    if (!结果_.releasePrepared || 结果_.targetReleaseId != 场景_.策略.targetReleaseId) 问题.push_back("no prepared release reported");
    return 问题;
  }

  // Files a clean run should not leave behind: staging directories, temporary files,
  // partial downloads.
  bool 有残留() const {
    for (const auto& 项 : fs::recursive_directory_iterator(工作())) {
      const std::string 名称 = 项.path().filename().u8string();
      if (名称.rfind("assemble-", 0) == 0 || 名称.rfind(".tmp-", 0) == 0 ||
          (名称.size() > 5 && 名称.compare(名称.size() - 5, 5, ".part") == 0)) {
        return true;
      }
    }
    return false;
  }

  // Runs the scenario once with the fault, then once without; false when the fault was
  // never reached.
  bool 一轮(const 故障种类& 种类, std::uint64_t 序号, 统计* 计数) {
    重置工作区();
    记录_ = {};
    for (const auto& 项 : 崩溃测试::检查现场(值_, &记录_)) ADD_FAILURE() << "before the run: " << 项;
    std::wstring 错误;
    std::optional<文件故障注入> 注入(std::in_place, 序号, 种类.类型, 种类.持续);
    const std::uint32_t 代码 = 运行(&错误);
    const bool 已注入 = 注入->已注入();
    const std::string 故障调用 = 注入->故障调用();
    注入.reset();  // the checks below read through the same file calls
    if (!已注入) return false;
    ++计数->覆盖;
    const std::string 位置 = 场景_.名称 + " / " + 种类.名称 + " / N=" + std::to_string(序号) + " (" + 故障调用 +
                             "), code " + std::to_string(代码) + " " + 宽转UTF8宽松(错误);
    std::vector<std::string> 问题 = 崩溃测试::检查现场(值_, &记录_);
    if (代码 == 0) {
      ++计数->成功;
      for (auto& 项 : 检查成功()) 问题.push_back("success: " + 项);
    } else {
      ++计数->失败码[代码];
      if (代码 < 3002 || 代码 > 3016) 问题.push_back("not a failure code of an update run");
      if (结果_.releasePrepared) 问题.push_back("a failure that claims a prepared release");
      if (错误.empty()) 问题.push_back("a failure without a message");
    }
    for (const auto& 项 : 问题) ADD_FAILURE() << 位置 << ": " << 项;

    // The next run without faults completes and delivers what was queued.
    错误.clear();
    const fs::path 回报 = 工作() / "fixture" / "reported-results.ndjson";
    const std::size_t 之前回报 = 读测试文件(回报).size();
    const std::uint32_t 再次 = 运行(&错误);
    std::vector<std::string> 之后问题 =
        再次 == 0 ? 检查成功() : std::vector<std::string>{"the clean run failed with " + std::to_string(再次) + " " + 宽转UTF8宽松(错误)};
    for (auto& 项 : 崩溃测试::检查现场(值_, &记录_)) 之后问题.push_back(项);
    if (战役::排队事件数(状态根()) != 0) 之后问题.push_back("result events still queued after the clean run");
    if (读测试文件(回报).find("\"result\":\"prepared\"", 之前回报) == std::string::npos) 之后问题.push_back("the clean run delivered no prepared event");
    if (有残留()) ++计数->残留;
    for (const auto& 项 : 之后问题) ADD_FAILURE() << 位置 << ", then without faults: " << 项;
    return true;
  }

  void 战役(const 场景& 场景) {
    准备模板(场景);
    if (HasFatalFailure()) return;
    // The clean run: it must succeed, and it tells how many calls each kind can hit.
    重置工作区();
    std::wstring 错误;
    ASSERT_EQ(运行(&错误), 0u) << 宽转UTF8宽松(错误);
    for (const auto& 项 : 检查成功()) ADD_FAILURE() << 场景.名称 << " clean run: " << 项;
    for (const auto& 种类 : 故障种类表) {
      if (种类.短模式步长 == 0 && !长模式) continue;
      统计 计数;
      重置工作区();
      {
        文件故障注入 计数器(0, 种类.类型);
        ASSERT_EQ(运行(&错误), 0u) << 宽转UTF8宽松(错误);
        计数.适用调用 = 计数器.适用调用次数();
      }
      const auto 开始 = std::chrono::steady_clock::now();
      const std::uint64_t 步长 = 长模式 ? 1 : 种类.短模式步长;
      // Short mode still takes the first and last calls, where set-up and commit happen.
      std::set<std::uint64_t> 序号;
      for (std::uint64_t n = 1; n <= 计数.适用调用; n += 步长) 序号.insert(n);
      if (计数.适用调用 > 0) 序号.insert(计数.适用调用);
      for (std::uint64_t n : 序号) {
        if (!一轮(种类, n, &计数)) ADD_FAILURE() << 场景.名称 << " / " << 种类.名称 << ": call " << n << " was never reached";
      }
      std::string 代码;
      for (const auto& [值, 次数] : 计数.失败码) 代码 += std::to_string(值) + "x" + std::to_string(次数) + " ";
      char 行[200];
      std::snprintf(行, sizeof 行, "  %-40s calls %5llu, covered %5llu, success %4llu, leftover %4llu, %6.1f s  codes %s",
                    (场景.名称 + " / " + 种类.名称).c_str(), 计数.适用调用, 计数.覆盖, 计数.成功, 计数.残留, std::chrono::duration<double>(std::chrono::steady_clock::now() - 开始).count(), 代码.c_str());
      战役::报告行(行);
      战役::计("fault points covered") += 计数.覆盖;
    }
  }

  场景 场景_;
  std::string 清单_, 策略文本_;
  崩溃测试::预期 值_;
  崩溃测试::观察记录 记录_;
  更新协调器结果 结果_;
};

TEST_F(文件故障战役, 全新安装的每个故障点) { 战役(场景表()[0]); }

TEST_F(文件故障战役, 从已装版本升级的每个故障点) { 战役(场景表()[1]); }

}  // namespace
}  // namespace tallybell

const tallybell::战役::战役定义 tallybell::战役::本战役 = {"file-fault campaign"};
