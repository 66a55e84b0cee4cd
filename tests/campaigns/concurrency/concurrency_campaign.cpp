// Concurrency campaign: real processes of the built program meeting on the same roots.
//
//  - Eight background checks started together: exactly one works, the others print
//    "background update already running"; the state and the release come out as one run
//    leaves them.
//  - An offline preparation racing a background check: afterwards the state holds both
//    changes (the pending release of the one, the accepted policy of the other).
//  - Result delivery passes racing each other: every queued event reaches the service
//    (some twice, always under the same idempotency key), none is lost, and no pass
//    reports events as left behind when none is.
//
//   tallybell-concurrency-campaign          short mode (CI)
//   tallybell-concurrency-campaign --long   more rounds of each race
#include <algorithm>
#include <memory>
#include <optional>
#include <random>
#include <regex>
#include <thread>

#include "download/download_task.h"
#include "results/result_queue.h"
#include "shared/campaign.h"
#include "support/lock_holder.h"
#include "support/program_runner.h"
#include "support/result_events.h"

namespace tallybell {
namespace {

using namespace 测试;
using namespace 战役;

const 发布内容 旧版文件 = {{"Tallybell.exe", "old executable"}, {"data/readme.txt", "readme\n"}};
const 发布内容 新版文件 = {{"Tallybell.exe", std::string(200000, 'n')}, {"data/readme.txt", "readme\n"}, {"lib/core.dll", "core library"}};

// An installation with r1 active (or nothing at all), state generation 4, and an offline
// fixture whose policy (version 1) names 目标 with 文件; returns it as the place where 目标
// is to be prepared.
故障场地 布置安装(const fs::path& 根, bool 已安装, const std::string& 目标, const 发布内容& 文件, const std::string& 附加成员 = {}) {
  fs::create_directories(根 / "program");
  if (已安装) 布置已装(根 / "program", 根 / "state", "r1", 旧版文件, 4, 0, 附加成员);
  夹具策略 策略;
  策略.targetReleaseId = 目标;
  策略.checkAfter = "2020-01-01T00:00:00Z";
  const std::string 清单 = 写入更新夹具(根 / "fixture", 策略, 文件);
  return {预期值(根 / "program", 根 / "state", 根 / "state" / "cache" / "objects" / "sha256", 目标,
                       读测试文件(根 / "fixture" / "policy.json"), 文件, 已安装 ? "r1" : ""), {}, 清单, 文件, 1};
}

std::vector<std::string> 后台检查参数(const fs::path& 根) {
  return {"--background-check", "--force-check", "--offline-fixture", (根 / "fixture").u8string(), "--program-root",
          (根 / "program").u8string(), "--state-root", (根 / "state").u8string()};
}

// What 进程 printed (to 输出) once it ended well within 毫秒; why not otherwise.
std::string 结束后输出(子进程& 进程, const fs::path& 输出, std::uint32_t 毫秒 = 120000) {
  const auto 结局 = 进程.等待(毫秒);
  return (结局.正常退出 && 结局.退出码 == 0 ? "" : "did not end well, printing: ") + 读测试文件(输出);
}

class 并发 : public ::testing::Test {
 protected:
  私有锁命名空间 锁空间_;
  std::mt19937_64 随机_{随机起点};
};

// Eight checks at once. The one that gets the coordinator lock is held at its first
// download (this test keeps that object's download lock), so all the others surely meet
// the lock while it works; then the hold ends and the worker must finish normally.
TEST_F(并发, 八个后台检查同时启动只有一个工作) {
  const unsigned 回合数 = 长模式 ? 20 : 2;
  for (unsigned 回合 = 0; 回合 < 回合数 && !HasFailure(); ++回合) {
    const std::string 场合 = "round " + std::to_string(回合);
    测试临时目录 目录;
    const bool 已安装 = 回合 % 2 == 1;
    故障场地 场地 = 布置安装(目录.路径(), 已安装, "r2", 新版文件);
    auto 持有 = std::make_unique<持锁线程>(std::wstring(下载对象锁前缀) + fs::path(测试SHA256(新版文件[0].second)).wstring());
    ASSERT_TRUE(持有->已取得());

    const auto 输出 = [&](int i) { return 目录.路径() / ("out-" + std::to_string(i) + ".txt"); };
    std::vector<std::unique_ptr<子进程>> 进程;
    for (int i = 0; i < 8; ++i) {
      进程.push_back(std::make_unique<子进程>(TALLYBELL_PROGRAM_PATH, 后台检查参数(目录.路径()), 输出(i)));
      ASSERT_TRUE(进程.back()->已启动());
    }
    // Seven end on their own; the worker waits for the object this test holds.
    int 工作者 = -1;
    unsigned 已结束 = 0;
    for (const auto 截止 = std::chrono::steady_clock::now() + std::chrono::seconds(60);
         已结束 < 7 && std::chrono::steady_clock::now() < 截止; std::this_thread::sleep_for(std::chrono::milliseconds(5))) {
      已结束 = 0;
      for (int i = 0; i < 8; ++i) {
        if (进程[i]->等待(0).已结束) ++已结束; else 工作者 = i;
      }
    }
    ASSERT_EQ(已结束, 7u) << 场合;
    for (int i = 0; i < 8; ++i) {
      if (i == 工作者) continue;
      EXPECT_EQ(结束后输出(*进程[i], 输出(i), 0), "background update already running\n") << 场合 << " process " << i;
      ++计("simultaneous checks that printed already running");
    }
    持有.reset();
    EXPECT_EQ(结束后输出(*进程[工作者], 输出(工作者)), "background release prepared\n") << 场合;
    ++计("rounds of eight simultaneous checks");

    // What one run leaves: no rebuild by a process that found the lock busy may have
    // replaced the worker's state, so the accepted policy is still there.
    报告问题(场合, 场地.核对已准备());
    EXPECT_EQ(读状态文件(目录.路径() / "state" / "state.txt").generation, 已安装 ? 6u : 3u) << 场合;
    const std::string 回报 = 读测试文件(目录.路径() / "fixture" / "reported-results.ndjson");
    EXPECT_EQ(std::count(回报.begin(), 回报.end(), '\n'), 1) << 场合 << 回报;
    EXPECT_NE(回报.find("\"result\":\"prepared\""), std::string::npos) << 场合;
  }
}

// An offline preparation of r3 and a background check that accepts a newer policy (whose
// target, r1, is already active) on the same roots, started a random moment apart. A large
// extension member in the state makes every load and save take a while, the way a state
// with a long history would, so the two overlap in every possible way. Whatever the order,
// the state must end with r3 pending and policy 1 accepted.
TEST_F(并发, 离线准备与后台检查竞争不丢状态更新) {
  const unsigned 回合数 = 长模式 ? 60 : 8;
  const std::string 大成员 = "{\"history\":\"" + std::string(3000000, 'h') + "\"}";
  std::uniform_int_distribution<int> 间隔(0, 120);
  for (unsigned 回合 = 0; 回合 < 回合数 && !HasFailure(); ++回合) {
    const std::string 场合 = "round " + std::to_string(回合);
    测试临时目录 目录;
    // The check's policy names the active r1; the preparation brings r3.
    故障场地 场地 = 布置安装(目录.路径(), true, "r1", 旧版文件, 大成员);
    场地.值.目标发布 = "r3", 场地.文件 = 新版文件, 场地.清单 = 生成发布清单文本("r3", 新版文件);
    写入发布目录(目录.路径() / "fixture" / "releases" / "r3", "r3", 新版文件);
    const fs::path 根 = 目录.路径();
    const std::vector<std::string> 准备参数 = {"--offline-fixture", (根 / "fixture").u8string(), "--prepare-release",
                                               "r3", "--program-root", (根 / "program").u8string(),
                                               "--state-root", (根 / "state").u8string()};
    const bool 检查先启动 = 回合 % 2 == 0;
    std::optional<子进程> 检查, 准备;
    if (检查先启动) 检查.emplace(TALLYBELL_PROGRAM_PATH, 后台检查参数(根), 根 / "check.txt");
    std::this_thread::sleep_for(std::chrono::milliseconds(间隔(随机_)));
    准备.emplace(TALLYBELL_PROGRAM_PATH, 准备参数, 根 / "prepare.txt");
    if (!检查先启动) 检查.emplace(TALLYBELL_PROGRAM_PATH, 后台检查参数(根), 根 / "check.txt");
    ASSERT_EQ(结束后输出(*准备, 根 / "prepare.txt", 60000), "offline release prepared\n") << 场合;
    // A check that met the preparation's lock did nothing; the operator starts it again.
    std::string 检查输出 = 结束后输出(*检查, 根 / "check.txt", 60000);
    for (int 次 = 0; 检查输出 == "background update already running\n" && 次 < 20; ++次) {
      ++计("check restarts after meeting the offline preparation's lock");
      const auto 再次 = 运行更新程序(后台检查参数(根));
      检查输出 = (再次.已运行 && 再次.退出码 == 0 ? "" : "did not end well, printing: ") + 再次.输出;
    }
    EXPECT_EQ(检查输出, "background update is current\n") << 场合;
    报告问题(场合, 场地.核对已准备());
    const 本地版本状态 状态 = 读状态文件(根 / "state" / "state.txt");
    EXPECT_EQ(状态.generation, 6u) << 场合;
    EXPECT_EQ(状态.preservedFields, 大成员) << 场合;
    ++计("rounds of offline preparation against a check");
  }
}

// Several report passes over the same queue at once. The service is slow to answer, so the
// passes overlap on most events.
TEST_F(并发, 结果投递并行不丢事件) {
  测试服务 服务;
  ASSERT_TRUE(服务.已启动());
  环境变量保护 证书("SSL_CERT_FILE", 服务.CA文件());
  健全路由(服务, {}, {}, 15);  // results are accepted after 15 ms
  const unsigned 回合数 = 长模式 ? 10 : 2;
  const unsigned 事件数 = 长模式 ? 80 : 40;
  const unsigned 进程数 = 4;
  const std::regex 完成行(R"(result report completed sent=(\d+) pending=0\n)");
  std::size_t 已读请求 = 0;
  for (unsigned 回合 = 0; 回合 < 回合数 && !HasFailure(); ++回合) {
    const std::string 场合 = "round " + std::to_string(回合);
    测试临时目录 目录;
    std::map<std::string, std::string> 已排队;
    for (unsigned i = 0; i < 事件数; ++i) {
      const std::string 标识 = "e" + std::to_string(回合) + "-" + std::to_string(i);
      ASSERT_TRUE(结果事件入队(目录.宽路径("state"), 测试结果事件(标识)));
      已排队[标识] = 读测试文件(目录.子路径("state/results/pending/" + 标识 + ".json"));
    }
    const auto 输出 = [&](unsigned i) { return 目录.路径() / ("pass-" + std::to_string(i) + ".txt"); };
    std::vector<std::unique_ptr<子进程>> 进程;
    for (unsigned i = 0; i < 进程数; ++i) {
      进程.push_back(std::make_unique<子进程>(TALLYBELL_PROGRAM_PATH, std::vector<std::string>{"--report-result", "--result-url",
          服务.地址("/update/v1/results"), "--state-root", 目录.子路径("state").u8string()}, 输出(i)));
    }
    unsigned 总发送 = 0;
    for (unsigned i = 0; i < 进程数; ++i) {
      const std::string 打印 = 结束后输出(*进程[i], 输出(i));
      std::smatch 匹配;
      const bool 完成 = std::regex_match(打印, 匹配, 完成行);
      EXPECT_TRUE(完成) << 场合 << " pass " << i << " printed " << 打印;
      总发送 += 完成 ? static_cast<unsigned>(std::stoul(匹配[1].str())) : 0;
    }
    // Each event file is removed by exactly one pass, so the passes' counts add up.
    EXPECT_EQ(总发送, 事件数) << 场合;
    EXPECT_TRUE(目录内容(目录.子路径("state/results/pending")).empty()) << 场合;

    for (const auto& 项 : 核对投递(服务, 已读请求, 已排队)) ADD_FAILURE() << 场合 << ": " << 项;
    计("report pass requests") += 服务.已收请求().size() - 已读请求;
    已读请求 = 服务.已收请求().size();
    计("events raced over by " + std::to_string(进程数) + " report passes") += 事件数;
  }
}

}  // namespace
}  // namespace tallybell

const tallybell::战役::战役定义 tallybell::战役::本战役 = {"concurrency campaign"};
