// Someone on the network path who answers under a name the certificate was not made for
// gets no request from either client: the host name is checked, not only the CA.
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "common/text.h"
#include "transport/download_client.h"
#include "transport/json_http_client.h"
#include "support/environment_guard.h"
#include "support/test_service.h"

namespace tallybell::platform {
namespace {

using namespace 测试;

// A name of this machine, other than the ones in the test service's certificate
// ("localhost" and 127.0.0.1), that resolves to 127.0.0.1; empty when there is none.
std::string 另一个回环名称() {
  char 名称[256] = {};
  if (::gethostname(名称, sizeof 名称 - 1) != 0 || std::string(名称).empty() ||
      std::string(名称) == "localhost") {
    return {};
  }
  addrinfo 提示{};
  提示.ai_family = AF_INET;
  addrinfo* 结果 = nullptr;
  if (::getaddrinfo(名称, nullptr, &提示, &结果) != 0) return {};
  std::unique_ptr<addrinfo, void (*)(addrinfo*)> 持有(结果, ::freeaddrinfo);
  for (const addrinfo* 项 = 结果; 项 != nullptr; 项 = 项->ai_next) {
    const auto* 地址 = reinterpret_cast<const sockaddr_in*>(项->ai_addr);
    if (ntohl(地址->sin_addr.s_addr) != INADDR_LOOPBACK) return {};
  }
  return 名称;
}

TEST(TLS主机名, 证书不含的主机名被两个客户端拒绝且服务收不到请求) {
  const std::string 名称 = 另一个回环名称();
  if (名称.empty()) GTEST_SKIP() << "this machine has no second name for 127.0.0.1";
  测试服务 服务;
  ASSERT_TRUE(服务.已启动());
  环境变量保护 环境;
  只信任(服务, &环境);
  服务.设置路由("*", "*", {应答(204)});
  const std::string 端口 = std::to_string(服务.端口());

  auto JSON请求 = [](const std::string& 地址) {
    JsonHttp请求 请求;
    请求.method = L"POST";
    请求.url = 逐字节加宽(地址);
    请求.connectTimeoutMs = 10000;
    请求.sendTimeoutMs = 10000;
    请求.receiveTimeoutMs = 10000;
    请求.maxResponseBytes = 1024;
    return 请求;
  };
  auto 下载 = [](const std::string& 地址, int* 响应头次数, std::wstring* 错误) {
    下载请求 请求;
    请求.url = 逐字节加宽(地址);
    请求.connectTimeoutMs = 10000;
    请求.sendTimeoutMs = 10000;
    请求.receiveTimeoutMs = 10000;
    下载客户端 客户端;
    return 客户端.下载(
        请求,
        [响应头次数](const 下载响应&, std::wstring*) {
          ++*响应头次数;
          return true;
        },
        [](const unsigned char*, std::uint64_t, std::wstring*) { return true; }, 错误);
  };

  JsonHttp客户端 客户端;
  JsonHttp响应 响应;
  std::wstring 错误;
  EXPECT_FALSE(客户端.发送(JSON请求("https://" + 名称 + ":" + 端口 + "/update/v1/resolve"), &响应, &错误));
  int 响应头次数 = 0;
  EXPECT_FALSE(下载("https://" + 名称 + ":" + 端口 + "/o", &响应头次数, &错误));
  EXPECT_EQ(响应头次数, 0);
  EXPECT_TRUE(服务.已收请求().empty());

  // The same service under a name its certificate does carry is reached.
  ASSERT_TRUE(客户端.发送(JSON请求("https://127.0.0.1:" + 端口 + "/update/v1/resolve"), &响应, &错误));
  EXPECT_EQ(响应.statusCode, 204u);
  EXPECT_EQ(服务.已收请求().size(), 1u);
}

}  // namespace
}  // namespace tallybell::platform
