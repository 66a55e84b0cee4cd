// The update service with the real update program over HTTPS: rollouts an operator drives,
// and rollouts that drive and stop themselves. (Results that survive a killed instance are
// checked by the service cluster run.)
#include <gtest/gtest.h>

#include <set>

#include "support/file_helpers.h"
#include "update_service/service_fixture.h"

namespace tallybell::测试 {
namespace {

constexpr int 安装数 = 10;

std::set<int> 运行全部(服务场& 场, const std::string& 目标) {
  std::set<int> 得到目标;
  for (int n = 0; n < 安装数; ++n) {
    const auto 运行 = 场.运行安装(n);
    EXPECT_EQ(运行.退出码, 0u) << 运行.输出;
    if (运行.目标 == 目标) 得到目标.insert(n);
  }
  return 得到目标;
}

TEST(更新服务, 全新安装_推出0到50到100_回滚) {
  服务场 场;
  场.启动服务();
  ASSERT_EQ(场.命令({"rollout", "start", "--release", "1.0", "--percent", "100"}).退出码, 0u);
  EXPECT_EQ(运行全部(场, "1.0").size(), 安装数);

  ASSERT_EQ(场.命令({"rollout", "start", "--release", "2.0", "--percent", "0"}).退出码, 0u);
  EXPECT_TRUE(运行全部(场, "2.0").empty());
  ASSERT_EQ(场.命令({"rollout", "set", "--percent", "50"}).退出码, 0u);
  const auto 一半 = 运行全部(场, "2.0");
  EXPECT_GT(一半.size(), 0u);
  EXPECT_LT(一半.size(), 安装数);

  // Pausing and resuming keep each installation's release (the month-long policy run);
  // several instances on one database see every change (the cluster run).
  ASSERT_EQ(场.命令({"rollout", "set", "--percent", "100"}).退出码, 0u);
  EXPECT_EQ(运行全部(场, "2.0").size(), 安装数);
  const std::string 策略 = 读测试文件(场.目录.子路径("installation-0/state/state/current-policy.json"));
  EXPECT_NE(策略.find("\"manifestSignature\":\"" + 签名文本 + "\""), std::string::npos) << 策略;

  ASSERT_EQ(场.命令({"rollout", "rollback"}).退出码, 0u);
  EXPECT_EQ(运行全部(场, "1.0").size(), 安装数);
}

TEST(更新服务, 失败和沉默使推出自动停止) {
  服务场 场;
  场.启动服务();
  // Plans advancing with the clock are checked by the month-long policy run.
  // Every installation fails to download 3.0; the third failure stops the rollout.
  ASSERT_EQ(场.命令({"rollout", "start", "--release", "3.0", "--percent", "100", "--min-results", "3",
                     "--max-failures", "3"}).退出码, 0u);
  for (int n = 0; n < 3; ++n) {
    const auto 运行 = 场.运行安装(n);
    EXPECT_NE(运行.退出码, 0u);
  }
  auto 状态 = 场.等待状态("halted because");
  EXPECT_NE(状态.find("halted because 3 failed results"), std::string::npos) << 状态;
  EXPECT_NE(状态.find("download"), std::string::npos) << 状态;

  // Installations that were offered 2.0 and never report back stop the next rollout.
  ASSERT_EQ(场.命令({"rollout", "start", "--release", "2.0", "--percent", "100", "--silent-after", "600",
                     "--min-silent", "4", "--max-silent-percent", "50"}).退出码, 0u);
  EXPECT_EQ(场.运行安装(0).退出码, 0u);  // one that reports
  for (const char* 标识 : {"00000000-0000-0000-0000-000000000001", "00000000-0000-0000-0000-000000000002",
                           "00000000-0000-0000-0000-000000000003"}) {
    EXPECT_EQ(场.请求("POST", "/update/v1/resolve", 解析正文(标识)).first, 200);
  }
  场.设置时钟(场.时钟() + 601);
  状态 = 场.等待状态("sent no result");
  EXPECT_NE(状态.find("3 of 4 installations offered"), std::string::npos) << 状态;
  EXPECT_NE(状态.find("silent 00000000-0000-0000-0000-000000000002"), std::string::npos) << 状态;
}

}  // namespace
}  // namespace tallybell::测试
