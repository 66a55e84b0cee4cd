// The result report command delivering over HTTPS to a real service on loopback.
#include <gtest/gtest.h>

#include "results/result_queue.h"
#include "support/file_helpers.h"
#include "support/result_events.h"
#include "support/program_runner.h"
#include "support/temp_dir.h"
#include "support/test_service.h"

namespace tallybell {
namespace {

using namespace 测试;

TEST(结果回报命令在线, 经HTTPS投递并带幂等键) {
  测试服务 服务;
  ASSERT_TRUE(服务.已启动());
  服务.设置路由("POST", "/update/v1/results", {应答(503), 应答(204)});
  测试临时目录 目录;
  for (const std::string 标识 : {"a1", "b2"}) {
    结果事件 事件 = 测试结果事件(标识);
    事件.result = "failed";
    事件.failureStage = "manifest";
    事件.errorCode = 3015;
    ASSERT_TRUE(结果事件入队(目录.宽路径("state"), 事件));
  }
  const std::string 文档 = 读测试文件(目录.子路径("state/results/pending/a1.json"));
  const auto 地址 = 服务.地址("/update/v1/results");
  const auto 结果 = 运行更新程序({"--report-result", "--state-root", 目录.子路径("state").u8string(), "--result-url",
                                   地址, "--result-url", 地址},
                                  {{"SSL_CERT_FILE", 服务.CA文件()}});
  EXPECT_EQ(结果.输出, "result report completed sent=2 pending=0\n");
  EXPECT_EQ(结果.退出码, 0u);
  const auto 请求 = 服务.已收请求();
  ASSERT_EQ(请求.size(), 3u);  // a1 to the first URL (503), a1 again to the second, then b2
  EXPECT_EQ(请求[0].请求头("Idempotency-Key"), "a1");
  EXPECT_EQ(请求[1].请求头("Idempotency-Key"), "a1");
  EXPECT_EQ(请求[2].请求头("Idempotency-Key"), "b2");
  EXPECT_EQ(请求[1].body, 文档);
  EXPECT_EQ(请求[1].请求头("Content-Type"), "application/json; charset=utf-8");
  EXPECT_EQ(请求[1].请求头("Cache-Control"), "no-store, no-cache, must-revalidate");
  EXPECT_EQ(请求[1].请求头("Pragma"), "no-cache");
  EXPECT_EQ(请求[1].tlsVersion, "TLSv1.2");
}

}  // namespace
}  // namespace tallybell
