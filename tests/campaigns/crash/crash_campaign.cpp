// Crash-consistency campaign: real background checks against the loopback HTTPS service,
// killed with SIGKILL at random moments and started again until one completes. After every
// kill the oracle (crash_oracle.h) checks what is on disk; after the completing run the
// release must be exactly the published one, pending in the state, and every result event
// that was ever queued must have reached the service.
//
// The program's own resolve URL is fixed at build time, so the killed process is a copy of
// this program started with --child: it runs the update coordinator with the platform's
// HTTPS clients, as the background check command does, but resolving at the service.
//
//   tallybell-crash-campaign                   short mode (CI), about 20 kills
//   tallybell-crash-campaign --long            at least 1000 kills
//   tallybell-crash-campaign --random-start N  repeat a campaign's random choices
#include <algorithm>
#include <functional>
#include <optional>
#include <random>
#include <thread>

#include "platform/file_system.h"
#include "shared/campaign.h"

namespace tallybell {
namespace {

using namespace 测试;
using namespace 崩溃测试;
using namespace 战役;

// The commit (release folder renamed into place, pending not yet recorded) is where a kill
// costs most but lasts a moment, so random times hardly ever hit it. The child marks the
// instant it renamed the release folder into place and then pauses there; the parent aims
// some kills at that mark instead of at a random time.
constexpr char 提交标记变量[] = "TALLYBELL_CRASH_COMMIT_MARK";
constexpr unsigned 提交暂停毫秒 = 60;
platform::文件调用表 原调用表;

bool 提交处暂停的移动(const std::wstring& 源, const std::wstring& 目标) {
  const bool 成功 = 原调用表.移动不替换(源, 目标);
  if (成功 && fs::path(目标).parent_path().filename() == "releases") {
    写测试文件(fs::u8path(std::getenv(提交标记变量)), "renamed");
    std::this_thread::sleep_for(std::chrono::milliseconds(提交暂停毫秒));
  }
  return 成功;
}

// The child: one update run, as the background check command makes it.
int 运行子进程(int argc, char** argv) {
  if (argc != 6) return 2;
  if (const char* 标记 = std::getenv(提交标记变量); 标记 != nullptr && *标记 != '\0') {
    原调用表 = platform::文件调用();
    platform::文件调用().移动不替换 = 提交处暂停的移动;
  }
  JsonHttp客户端 json;
  下载客户端 下载;
  const auto 结局 = 运行协调器(
      协调器配置(fs::u8path(argv[2]), fs::u8path(argv[3]), fs::u8path(argv[4]), {argv[5]}, false), &json, &下载);
  std::printf("code=%u prepared=%d running=%d\n", 结局.代码, 结局.结果.releasePrepared ? 1 : 0, 结局.结果.alreadyRunning ? 1 : 0);
  return 结局.代码 == 0 ? 0 : 1;
}

class 崩溃一致性 : public ::testing::Test {
 protected:
  私有锁命名空间 锁空间_;
  测试服务 服务_;
  std::optional<环境变量保护> 证书_;
  std::mt19937_64 随机_{随机起点};
  std::string 策略文本_, 清单文本_;
  // Two objects big enough that the body arrives in many flushed pieces (resumable with
  // ranges), one file shared with the installed release, one small whole answer.
  发布内容 目标文件_ = {{"Tallybell.exe", 图案(300001)}, {"lib/core.dll", 图案(200003)}, {"data/readme.txt", "readme, unchanged\n"}, {"config.json", "{\"channel\":\"stable\"}"}};
  发布内容 旧版文件_ = {{"Tallybell.exe", "old executable"}, {"data/readme.txt", "readme, unchanged\n"}};

  void SetUp() override {
    ASSERT_TRUE(服务_.已启动());
    证书_.emplace("SSL_CERT_FILE", 服务_.CA文件());
    夹具策略 策略;
    策略.checkAfter = "2020-01-01T00:00:00Z";
    std::tie(清单文本_, 策略文本_) = 服务发布(服务_, 目标文件_, 策略);
    健全路由(服务_, 目标文件_, {清单文本_, 策略文本_}, 40, 6);
  }

  // Lays out one installation: 0 new (nothing at all), 1 with r1 installed and active,
  // 2 like 1 plus an incomplete r2 left by some earlier failure.
  预期 布置(const fs::path& 根, int 种类) {
    fs::create_directories(根 / "program");
    if (种类 >= 1) 布置已装(根 / "program", 根 / "state", "r1", 旧版文件_, 4);
    if (种类 == 2) 写入发布目录(根 / "program" / "releases" / "r2", "r2", {{"Tallybell.exe", "half"}}, 完成标记::省略);
    预期 值 = 预期值(根 / "program", 根 / "state", 根 / "state" / "cache" / "objects" / "sha256", "r2", 策略文本_,
                           目标文件_, 种类 >= 1 ? "r1" : "");
    if (种类 == 2) 值.原有目录["r2"] = 读取目录树(值.程序根 / "releases" / "r2");
    return 值;
  }

  // A child run; with 标记 it pauses at the commit and marks it there.
  子进程 启动(const 预期& 值, const fs::path& 输出, const std::string& 标记 = {}) const {
    return 子进程(本程序路径(), {"--child", 值.程序根.u8string(), 值.状态根.u8string(), 值.缓存根.u8string(),
                                 服务_.地址("/update/v1/resolve")}, 输出, {{提交标记变量, 标记}});
  }
  // An undisturbed run to the end.
  void 完整运行(const 预期& 值, const fs::path& 输出) const {
    ASSERT_TRUE(启动(值, 输出).等待(120000).正常退出);
    ASSERT_EQ(读测试文件(输出), "code=0 prepared=1 running=0\n");
  }

  // Where the killed run was (start, resolve, manifest, download, commit, result), from the
  // requests it made and the mark its commit left.
  std::string 判断阶段(std::size_t 此前请求数, const fs::path& 标记) {
    std::string 路径;
    for (const auto& 请求 : 请求自(服务_, 此前请求数)) 路径 += 请求.path + " ";
    const auto 有 = [&](const char* 片段) { return 路径.find(片段) != std::string::npos; };
    return 有("/results ") ? "result" : fs::exists(标记) ? "commit" : 有("/objects/") ? "download"
           : 有("/manifest.json") ? "manifest" : 有("/resolve ") ? "resolve" : "start";
  }

  void 记录违例(const std::vector<std::string>& 违例, const std::string& 场合) {
    报告问题(场合, 违例);
    计("oracle violations") += 违例.size();
  }

  // One installation: killed a few times at random moments, then run to the end.
  void 一回合(int 种类, unsigned 目标击杀, unsigned 参考毫秒) {
    测试临时目录 目录;
    const 预期 值 = 布置(目录.路径(), 种类);
    const std::string 场合基 = "round " + std::to_string(计("rounds")) + " (kind " + std::to_string(种类) + ")";
    观察记录 记录;
    记录违例(检查现场(值, &记录), 场合基 + " before the first run");
    const std::size_t 起始请求 = 服务_.已收请求().size();
    std::uniform_int_distribution<unsigned> 时刻(0, 参考毫秒 + 参考毫秒 / 5);
    std::uniform_int_distribution<unsigned> 提交后(0, 提交暂停毫秒);
    std::bernoulli_distribution 瞄准提交(0.4);
    for (unsigned 击杀 = 0;; ++击杀) {
      const bool 最后一次 = 击杀 >= 目标击杀;
      const std::string 场合 = 场合基 + " run " + std::to_string(击杀 + 1);
      const std::size_t 此前请求数 = 服务_.已收请求().size();
      const fs::path 输出 = 目录.路径() / ("run-" + std::to_string(击杀 + 1) + ".txt");
      const fs::path 标记 = 目录.路径() / ("commit-" + std::to_string(击杀 + 1));
      子进程 运行 = 启动(值, 输出, 标记.string());
      ASSERT_TRUE(运行.已启动()) << 场合;
      ++计("runs");
      子进程结局 结局;
      if (!最后一次 && 瞄准提交(随机_)) {
        // Aimed: wait for the commit mark (a run with nothing left to commit ends first),
        // then kill somewhere inside the pause that follows it.
        while (!(结局 = 运行.等待(2)).已结束 && !fs::exists(标记)) {
        }
        if (!结局.已结束) 结局 = 运行.等待(提交后(随机_));
      } else {
        结局 = 运行.等待(最后一次 ? 120000 : 时刻(随机_));
      }
      if (!结局.已结束) {
        结局 = 运行.强制结束();
        if (!结局.正常退出) {
          const std::string 阶段 = 判断阶段(此前请求数, 标记);
          ++计("kills");
          ++计("kills in phase " + 阶段);
          记录违例(检查现场(值, &记录), 场合 + " killed in " + 阶段);
          auto& 最多 = 计("most leftover .tmp- files in cache and queue after a kill");
          最多 = std::max(最多, 记录.遗留临时文件);
          continue;
        }
      }
      ASSERT_TRUE(结局.正常退出) << 场合 << " did not end";
      if (!最后一次) ++计("runs ended before their kill");
      EXPECT_EQ(读测试文件(输出), "code=0 prepared=1 running=0\n") << 场合;
      // The finished installation: the published release, pending, no failure counted for the
      // killed runs, and every event ever seen in the queue delivered under its own key.
      记录违例(检查现场(值, &记录), 场合 + " after completing");
      记录违例(检查已准备(值, 清单文本_, 目标文件_, 1), 场合 + " after completing");
      EXPECT_EQ(读状态文件(值.状态根 / "state.txt").updateFailureCount, 0u) << 场合 << ": a killed run counted as a failure";
      EXPECT_EQ(排队事件数(值.状态根), 0u) << 场合 << ": events left queued";
      std::map<std::string, std::string> 排队;
      for (const auto& 标识 : 记录.排队事件) 排队[标识];
      记录违例(核对投递(服务_, 起始请求, 排队), 场合);
      if (种类 == 2) {
        const auto 名称 = 目录内容(值.程序根 / "releases");
        EXPECT_EQ(std::count_if(名称.begin(), 名称.end(), [](const std::string& 名) { return 名.rfind("quarantine-r2-", 0) == 0; }), 1)
            << 场合 << ": the incomplete r2 is set aside exactly once";
      }
      return;
    }
  }
};

TEST_F(崩溃一致性, 随机时刻强杀后重跑直到完成) {
  // One undisturbed run of a new installation gives the time span to kill within.
  测试临时目录 目录;
  const 预期 值 = 布置(目录.路径(), 0);
  const auto 计时 = std::chrono::steady_clock::now();
  ASSERT_NO_FATAL_FAILURE(完整运行(值, 目录.路径() / "run.txt"));
  const auto 参考毫秒 = static_cast<unsigned>(秒数(计时) * 1000);
  计("reference run, ms") = 参考毫秒;
  观察记录 记录;
  记录违例(检查现场(值, &记录), "reference run");
  const unsigned 目标 = 长模式 ? 1000 : 18;
  std::uniform_int_distribution<unsigned> 每回合(1, 长模式 ? 6 : 4);
  while (计("kills") < 目标 && !HasFatalFailure() && 计("oracle violations") < 20) {
    一回合(static_cast<int>(计("rounds") % 3), 每回合(随机_), 参考毫秒);
    ++计("rounds");
  }
  EXPECT_GE(计("kills"), 目标);
}

// The oracle itself must be able to fail: each damage below, done to a finished
// installation, breaks one promise and has to be reported.
TEST_F(崩溃一致性, 神谕发现每种损坏) {
  测试临时目录 目录;
  const 预期 原值 = 布置(目录.子路径("done"), 1);
  ASSERT_NO_FATAL_FAILURE(完整运行(原值, 目录.路径() / "run.txt"));
  const std::string 可执行哈希 = 测试SHA256(目标文件_[0].second);
  const auto 改状态 = [](const 预期& 值, auto 改动) {
    本地版本状态 状态 = 测试::读状态文件(值.状态根 / "state.txt");
    改动(状态);
    写测试文件(值.状态根 / "state.txt", 序列化本地版本状态(状态));
  };
  const std::vector<std::pair<std::string, std::function<void(const 预期&)>>> 损坏表 = {
      {"torn state.txt", [](const 预期& 值) { fs::resize_file(值.状态根 / "state.txt", fs::file_size(值.状态根 / "state.txt") / 2); }},
      {"generation going back", [&](const 预期& 值) {
         改状态(值, [](本地版本状态& 状态) { 状态.generation -= 1; });
         fs::remove(值.状态根 / "state.txt.bak");
       }},
      {"cache object with one changed byte", [&](const 预期& 值) {
         std::string 内容 = 读测试文件(值.缓存根 / (可执行哈希 + ".object"));
         内容[1000] ^= 1;
         写测试文件(值.缓存根 / (可执行哈希 + ".object"), 内容);
       }},
      {"part with a wrong byte", [&](const 预期& 值) { 写测试文件(值.缓存根 / (可执行哈希 + ".part"), "wrong"); }},
      {"stray cache file", [](const 预期& 值) { 写测试文件(值.缓存根 / "notes.txt", "x"); }},
      {"truncated result event", [](const 预期& 值) { 写测试文件(值.状态根 / "results" / "pending" / "e1.json", "{\"eventId\":\"e1\""); }},
      {"release missing a file", [](const 预期& 值) { fs::remove(值.程序根 / "releases" / "r2" / "lib" / "core.dll"); }},
      {"installed release changed", [](const 预期& 值) { 写测试文件(值.程序根 / "releases" / "r1" / "extra.txt", "x"); }},
      {"other policy stored", [](const 预期& 值) { 写测试文件(值.状态根 / "state" / "current-policy.json", "{}"); }},
      {"active release changed", [&](const 预期& 值) { 改状态(值, [](本地版本状态& 状态) { 状态.activeRelease = L"r2"; }); }},
  };
  for (std::size_t i = 0; i < 损坏表.size(); ++i) {
    const fs::path 副本 = 目录.路径() / ("copy-" + std::to_string(i));
    fs::copy(目录.子路径("done"), 副本, fs::copy_options::recursive);
    预期 值 = 原值;
    值.程序根 = 副本 / "program", 值.状态根 = 副本 / "state", 值.缓存根 = 副本 / "state" / "cache" / "objects" / "sha256";
    观察记录 记录;
    ASSERT_TRUE(检查现场(值, &记录).empty()) << 损坏表[i].first;
    损坏表[i].second(值);
    EXPECT_FALSE(检查现场(值, &记录).empty()) << 损坏表[i].first << " went unnoticed";
  }
}

}  // namespace
}  // namespace tallybell

const tallybell::战役::战役定义 tallybell::战役::本战役 = {"crash campaign", tallybell::运行子进程};
