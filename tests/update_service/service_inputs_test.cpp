// What the service refuses, and how the operator commands answer.
#include <gtest/gtest.h>

#include "service/service_store.h"
#include "service/store_open.h"
#include "update_service/service_fixture.h"

namespace tallybell::测试 {
namespace {

// Operator commands first (no rollout yet), then requests to the running service.
TEST(更新服务, 命令的退出码_错误输入各得明确状态且不存任何东西) {
  服务场 场;
  struct 命令情形 {
    std::vector<std::string> 参数;
    std::uint32_t 退出码;
  } 命令表[] = {
      {{"frobnicate"}, 2},
      {{"rollout", "set", "--percent", "101"}, 2},
      {{"rollout", "start", "--release", "1.0", "--steps", "5,2"}, 2},
      {{"rollout", "pause"}, 3},  // no rollout yet
      {{"rollout", "start", "--release", "9.9"}, 3},
      {{"init", "--public-url", "https://localhost:1"}, 3},  // already initialised
      {{"release", "add", 场.目录.子路径("content/releases").string(), "--base-url", "https://localhost:1"}, 3},
      {{"prune", "--older-than-days", "30"}, 0},
  };
  for (const auto& 项 : 命令表) EXPECT_EQ(场.命令(项.参数).退出码, 项.退出码) << 项.参数[0] << " " << 项.参数.back();
  const auto 缺库 = 运行程序(TALLYBELL_SERVICE_PROGRAM, {"audit", "--db", 场.目录.子路径("none.db").string()});
  EXPECT_EQ(缺库.退出码, 4u);
  ASSERT_EQ(场.命令({"rollout", "start", "--release", "1.0", "--percent", "100"}).退出码, 0u);
  场.启动服务();
  const std::string 好 = 解析正文("0f8fad5b-d9cb-469f-a165-70867728950e");
  auto 去掉 = [&](const std::string& 成员) {
    std::string 文本 = 好;
    const auto 位置 = 文本.find("\"" + 成员 + "\"");
    return 文本.erase(位置, 文本.find(',', 位置) + 1 - 位置);
  };
  struct 情形 {
    const char* 名称;
    std::string 方法, 路径, 正文;
    std::vector<std::pair<std::string, std::string>> 头;
    int 状态;
  } 表[] = {
      {"valid resolve", "POST", "/update/v1/resolve", 好, {}, 200},
      {"malformed JSON", "POST", "/update/v1/resolve", "{\"installationId\":", {}, 400},
      {"repeated member", "POST", "/update/v1/resolve", "{\"os\":\"a\"," + 好.substr(1), {}, 400},
      {"missing os", "POST", "/update/v1/resolve", 去掉("os"), {}, 400},
      {"bad installation id", "POST", "/update/v1/resolve", 解析正文("0F8FAD5B-D9CB-469F-A165-70867728950E"), {}, 400},
      {"unknown product", "POST", "/update/v1/resolve", 去掉("productId").insert(1, "\"productId\":\"other\","), {}, 404},
      {"oversized body", "POST", "/update/v1/resolve", std::string(70000, ' ') + 好, {}, 413},
      {"wrong method", "GET", "/update/v1/resolve", "", {}, 405},
      {"unknown path", "POST", "/update/v1/other", 好, {}, 404},
      {"result without key", "POST", "/update/v1/results", "{}", {}, 400},
      {"result with a bad key", "POST", "/update/v1/results", "{}", {{"Idempotency-Key", "a/b"}}, 400},
      // Accepted into the poison table, so the client stops sending it, but never counted.
      {"poison result", "POST", "/update/v1/results", "{\"eventId\":\"p\"}", {{"Idempotency-Key", "p"}}, 202},
  };
  for (const auto& 项 : 表) EXPECT_EQ(场.请求(项.方法, 项.路径, 项.正文, 项.头).first, 项.状态) << 项.名称;
  EXPECT_EQ(场.请求("POST", "/update/v1/resolve", 好).second.find("manifestSignature"), std::string::npos);
  场.停止服务();
  std::string 错误;
  auto 存储 = 服务::打开服务存储(场.数据库(), 服务::服务时钟(), false, &错误);
  std::uint64_t 事件 = 0, 隔离 = 0;
  ASSERT_TRUE(存储 && 存储->事件数(&事件, &隔离)) << 错误;
  EXPECT_EQ(事件, 0u);
  EXPECT_EQ(隔离, 1u);
}

}  // namespace
}  // namespace tallybell::测试
