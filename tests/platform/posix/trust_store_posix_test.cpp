// On POSIX the trust store comes from SSL_CERT_FILE or SSL_CERT_DIR when either is set, so
// a private CA can be trusted alone.
#include <gtest/gtest.h>

#include "common/text.h"
#include "support/environment_guard.h"
#include "support/test_service.h"
#include "transport/json_http_client.h"
#include "transport/json_http_rules.h"

namespace tallybell {
namespace {

using namespace 测试;

TEST(信任库, 来自SSL_CERT_FILE或SSL_CERT_DIR) {
  测试服务 服务;
  测试服务 另一服务;
  ASSERT_TRUE(服务.已启动() && 另一服务.已启动());
  服务.设置路由("*", "*", {应答(204)});
  环境变量保护 环境;
  只信任(另一服务, &环境);
  JsonHttp请求 请求;
  请求.method = L"POST";
  请求.url = 逐字节加宽(服务.地址("/update/v1/resolve"));
  请求.maxResponseBytes = 1024;
  JsonHttp响应 响应;
  std::wstring 错误;
  EXPECT_FALSE(JsonHttp客户端().发送(请求, &响应, &错误));
  EXPECT_EQ(错误, JsonHttp消息::请求失败);
  环境.设置("SSL_CERT_FILE", std::nullopt);
  环境.设置("SSL_CERT_DIR", 服务.CA目录());
  ASSERT_TRUE(JsonHttp客户端().发送(请求, &响应, &错误)) << 宽转UTF8宽松(错误);
  EXPECT_EQ(响应.statusCode, 204u);
  EXPECT_EQ(服务.已收请求().size(), 1u);
}

}  // namespace
}  // namespace tallybell
