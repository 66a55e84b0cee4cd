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
#include <optional>
#include <set>

#include "shared/campaign.h"
#include "support/fault_injection.h"
#include "transport/offline_fixture.h"

namespace tallybell {
namespace {

using namespace 测试;
using namespace 战役;

// One kind of fault as the campaign drives it.
struct 故障种类 {
  const char* 名称;
  故障类型 类型;
  bool 持续;
  // Short mode: every 步长-th N (1: all; 0: none, a long-mode kind). Long mode takes every N.
  std::uint64_t 短模式步长;
};

const 故障种类 故障种类表[] = {
    {"disk-full", 故障类型::磁盘已满, false, 3},     {"io-error", 故障类型::输入输出错误, false, 5},
    {"short-write", 故障类型::写入不足, false, 1},   {"failed-flush", 故障类型::刷新失败, false, 1},
    {"failed-rename", 故障类型::重命名失败, false, 1}, {"disk-stays-full", 故障类型::磁盘已满, true, 0},
};

// A starting point of a run: what is installed, what the service offers.
struct 场景 {
  std::string 名称;
  夹具策略 策略;
  发布内容 新版文件;
  // The files of r1, installed before the run (active and last good, with an installation
  // identity in place); empty for a fresh installation.
  发布内容 已装文件;
  发布内容 缓存对象;  // objects already in the cache before the run
};

// A file of several read and write pieces, so that faults land in the middle of copies and
// downloads too. Fresh: nothing installed. Update: r1 installed, one object of r3 already
// cached, one file shared with r1, and an installation identity in place.
const std::string 大文件 = 图案(150000), 缓存 = std::string(3000, 'c');
const 场景 场景表[] = {
    {"fresh-installation", {1, "assign-1", "r2"}, {{"Tallybell.exe", 大文件}, {"lib/core.dll", "core-2"}, {"data/empty.txt", ""}}, {}, {}},
    {"update-from-installed", {4, "assign-1", "r3"},
     {{"Tallybell.exe", 大文件.substr(0, 90000)}, {"lib/core.dll", "core-shared"}, {"data/cached.bin", 缓存}},
     {{"Tallybell.exe", "exe-1"}, {"lib/core.dll", "core-shared"}}, {{"data/cached.bin", 缓存}}}};

class 文件故障战役 : public ::testing::Test {
 protected:
  私有锁命名空间 锁空间_;
  测试临时目录 目录_;
  故障场地 场地_;

  fs::path 模板() const { return 目录_.子路径("template"); }
  fs::path 工作() const { return 目录_.子路径("work"); }

  // Lays out the scenario once; every run starts from a fresh copy of it.
  void 准备模板(const 场景& 场景) {
    const std::string 清单 = 写入更新夹具(模板() / "fixture", 场景.策略, 场景.新版文件);
    for (const char* 子目录 : {"program", "state", "cache"}) fs::create_directories(模板() / 子目录);
    const std::string 已装 = 场景.已装文件.empty() ? "" : "r1";
    if (!已装.empty()) 布置已装(模板() / "program", 模板() / "state", 已装, 场景.已装文件, 3, 场景.策略.policyVersion - 1);
    for (const auto& [路径, 内容] : 场景.缓存对象) 写测试文件(模板() / "cache" / (测试SHA256(内容) + ".object"), 内容);
    if (!已装.empty()) 写测试文件(模板() / "state" / "state" / "installation-id.txt", "0123abcd-0123-abcd-0123-0123456789ab\n");
    场地_ = {预期值(模板() / "program", 工作() / "state", 工作() / "cache", 场景.策略.targetReleaseId,
                   读测试文件(模板() / "fixture" / "policy.json"), 场景.新版文件, 已装),
             {}, 清单, 场景.新版文件, 场景.策略.policyVersion};
    场地_.值.程序根 = 工作() / "program";
  }

  void 重置工作区() {
    fs::remove_all(工作());
    fs::copy(模板(), 工作(), fs::copy_options::recursive);
    // The oracle learns the state the run starts from, so that a run losing it is caught.
    场地_.记录 = {};
    报告问题("before the run", 崩溃测试::检查现场(场地_.值, &场地_.记录));
  }

  运行结局 运行() {
    离线更新夹具传输 夹具((工作() / "fixture").wstring());
    return 运行协调器(协调器配置(工作() / "program", 工作() / "state", 工作() / "cache", {"https://updates.tallybell.example/update/v1/resolve"}),
                      &夹具, &夹具);
  }

  void 逐点运行(const 场景& 场景) {
    准备模板(场景);
    for (const auto& 种类 : 故障种类表) {
      if (种类.短模式步长 == 0 && !长模式) continue;
      unsigned long long 适用调用 = 0, 覆盖 = 0, 成功 = 0;
      std::map<std::uint32_t, unsigned long long> 失败码;
      // A clean run: it must succeed, and it tells how many calls the kind can hit.
      重置工作区();
      std::optional<文件故障注入> 计数器(std::in_place, 0, 种类.类型);
      const 运行结局 干净 = 运行();
      适用调用 = 计数器->适用调用次数();
      计数器.reset();  // the checks read through the same file calls
      报告问题(场景.名称 + " / " + 种类.名称 + ", clean run", 场地_.核对复原(干净));
      const auto 开始 = std::chrono::steady_clock::now();
      // Short mode still takes the first and last calls, where set-up and commit happen.
      std::set<std::uint64_t> 序号 = {适用调用};
      for (std::uint64_t n = 1; n <= 适用调用; n += 长模式 ? 1 : 种类.短模式步长) 序号.insert(n);
      for (std::uint64_t n : 序号) {
        if (n == 0) continue;
        重置工作区();
        std::optional<文件故障注入> 注入(std::in_place, n, 种类.类型, 种类.持续);
        const 运行结局 结局 = 运行();
        const bool 已注入 = 注入->已注入();
        const std::string 位置 = 场景.名称 + " / " + 种类.名称 + " / N=" + std::to_string(n) + " (" + 注入->故障调用() +
                                 "), code " + std::to_string(结局.代码) + " " + 宽转UTF8宽松(结局.错误);
        注入.reset();  // the checks below read through the same file calls
        if (!已注入) ADD_FAILURE() << 位置 << ": the call was never reached";
        if (!已注入) continue;
        ++覆盖;
        ++(结局.代码 == 0 ? 成功 : 失败码[结局.代码]);
        报告问题(位置, 场地_.核对(结局));
        // The next run without faults completes and delivers what was queued.
        const fs::path 回报 = 工作() / "fixture" / "reported-results.ndjson";
        const std::size_t 之前回报 = 读测试文件(回报).size();
        std::vector<std::string> 问题 = 场地_.核对复原(运行());
        if (读测试文件(回报).find("\"result\":\"prepared\"", 之前回报) == std::string::npos) 问题.push_back("no prepared event delivered");
        报告问题(位置 + ", then without faults", 问题);
      }
      std::string 代码;
      for (const auto& [值, 次数] : 失败码) 代码 += std::to_string(值) + "x" + std::to_string(次数) + " ";
      报告行("  %-40s calls %5llu, covered %5llu, success %4llu, %6.1f s  codes %s", (场景.名称 + " / " + 种类.名称).c_str(),
             适用调用, 覆盖, 成功, 秒数(开始), 代码.c_str());
      计("fault points covered") += 覆盖;
    }
  }
};

TEST_F(文件故障战役, 全新安装的每个故障点) { 逐点运行(场景表[0]); }

TEST_F(文件故障战役, 从已装版本升级的每个故障点) { 逐点运行(场景表[1]); }

}  // namespace
}  // namespace tallybell

const tallybell::战役::战役定义 tallybell::战役::本战役 = {"file-fault campaign"};
