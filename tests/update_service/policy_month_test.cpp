// The policy invariants the update program relies on, over a month of check windows with
// operator changes, plans advancing, quarantined targets and two instances whose clocks
// differ by ten seconds: a version never goes down, one version always has one content,
// and a check at or after checkAfter always gets a newer version.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "documents/policy.h"
#include "service/policy_issue.h"
#include "service/rollout_monitor.h"
#include "service/rollout_rules.h"
#include "service/service_store.h"
#include "support/temp_dir.h"

namespace tallybell::测试 {
namespace {

using namespace 服务;

struct 安装 {
  std::string 标识;
  std::vector<std::string> 隔离;
  std::uint64_t 版本 = 0, 下次检查 = 0;
  std::string 内容;
};

std::uint64_t 检查秒(const std::string& 文本) {
  std::tm 时刻{};
  strptime(文本.c_str(), "%Y-%m-%dT%H:%M:%SZ", &时刻);
  return static_cast<std::uint64_t>(timegm(&时刻));
}

TEST(策略不变式, 一个月的检查窗口) {
  测试临时目录 目录;
  std::string 错误;
  auto 存储 = 打开SQLite存储(目录.子路径("db").string(), &错误);
  服务设置 设置{3600, "https://localhost:1"};
  ASSERT_TRUE(存储 && 存储->准备(&设置, &错误)) << 错误;
  const std::vector<std::string> 发布 = {"1.0", "2.0", "3.0", "4.0"};
  for (const auto& 标识 : 发布) {
    ASSERT_EQ(存储->添加发布({标识, "https://localhost:1/" + 标识, std::string(64, 'a'), "", 0}, {}), 添加结果::已添加);
  }
  std::mt19937_64 随机(20261207);
  std::uint64_t 现在 = 1796000000;
  auto 修改 = [&](推出记录 推出) {
    服务快照 快照;
    ASSERT_TRUE(存储->读取快照(&快照));
    ASSERT_TRUE(存储->保存推出(&推出, {现在, "test", "change"}, 快照.revision));
  };
  推出记录 首个 = 默认推出("tallybell", "1.0", "", 现在);
  首个.steps.clear();
  首个.percent = 100;
  修改(首个);

  std::vector<安装> 安装表(60);
  for (auto& 项 : 安装表) {
    char 文本[37];
    std::snprintf(文本, sizeof 文本, "%08llx-0000-4000-8000-%012llx", static_cast<unsigned long long>(随机() >> 32),
                  static_cast<unsigned long long>(随机() >> 16));
    项.标识 = 文本;
  }
  const std::int64_t 偏差[] = {-5, 5};
  std::size_t 下个发布 = 1, 检查数 = 0, 新版本数 = 0;
  for (const std::uint64_t 结束 = 现在 + 30 * 86400; 现在 < 结束; 现在 += 1 + 随机() % 300) {
    服务快照 快照;
    ASSERT_TRUE(存储->读取快照(&快照));
    推出记录 当前 = 快照.rollouts.at("tallybell");
    switch (随机() % 400) {
      case 0: {  // a new rollout with a fast plan
        推出记录 新 = 默认推出("tallybell", 发布[下个发布++ % 发布.size()], 当前.target, 现在);
        新.stepSeconds = 1800 + 随机() % 20000;
        新.limits.maxSilentPercent = 0;
        修改(新);
        break;
      }
      case 1: 当前.state = 推出状态::已暂停; 修改(当前); break;
      case 2: 当前.state = 推出状态::进行中; 修改(当前); break;
      case 3: if (!当前.base.empty()) { 当前.state = 推出状态::已回滚; 修改(当前); } break;
      case 4: 当前.percent = std::min<std::uint32_t>(100, 当前.percent + 10); 修改(当前); break;
      default: break;
    }
    评估推出一次(*存储, 现在);
    ASSERT_TRUE(存储->读取快照(&快照));
    for (auto& 项 : 安装表) {
      const bool 到期 = 现在 >= 项.下次检查;
      if (!到期 && 随机() % 500 != 0) continue;  // now and then an operator forces a check
      if (随机() % 40 == 0) 项.隔离.push_back(快照.rollouts.at("tallybell").target);
      // Regular checks land on either instance; forced ones on the first.
      const std::uint64_t 时刻 = 现在 + (到期 ? 偏差[随机() % 2] : 0);
      const auto 结果 = 签发策略(快照, {项.标识, "tallybell", "", "", 项.隔离}, 时刻);
      ASSERT_EQ(结果.status, 200u) << 结果.body;
      版本策略 策略;
      ASSERT_TRUE(解析版本策略(结果.body, &策略)) << 结果.body;
      ++检查数;
      ASSERT_GE(策略.policyVersion, 项.版本) << 项.标识 << " at " << 现在;
      if (策略.policyVersion == 项.版本) {
        ASSERT_FALSE(到期) << "a due check got no newer version";
        ASSERT_EQ(策略内容标识(策略), 项.内容);
        continue;
      }
      ++新版本数;
      项.版本 = 策略.policyVersion;
      项.内容 = 策略内容标识(策略);
      项.下次检查 = 检查秒(策略.checkAfter);
      ASSERT_GT(项.下次检查, 现在);
    }
  }
  EXPECT_GT(检查数, 30u * 24 * 安装表.size() / 2);
  EXPECT_GT(下个发布, 3u);
  EXPECT_LT(新版本数, 检查数);
}

}  // namespace
}  // namespace tallybell::测试
