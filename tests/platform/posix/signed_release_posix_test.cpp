// Signed releases served by the loopback HTTPS service: installed with the signer's key
// trusted, refused in the manifest stage otherwise.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "common/codes.h"
#include "coordinator/coordinator.h"
#include "transport/download_client.h"
#include "transport/json_http_client.h"
#include "support/environment_guard.h"
#include "support/file_helpers.h"
#include "support/test_service.h"
#include "publish/signed_release_support.h"

namespace tallybell {
namespace {

namespace fs = std::filesystem;
using namespace 测试;
using nlohmann::json;

TEST_F(签名发布, 在线检查只安装受信任密钥签署的清单) {
  测试服务 服务;
  ASSERT_TRUE(服务.已启动());
  发布已签名(服务.地址("/content/"), 服务.地址("/content/releases/r1/manifest.json"), 服务.地址("/update/v1/results"));
  struct stat 信息 {};
  ASSERT_EQ(::stat(目录.子路径("old.key").c_str(), &信息), 0);
  EXPECT_EQ(信息.st_mode & 0777, 0600u);
  ASSERT_EQ(策略.value("manifestSignature", ""), 签名("r1"));
  const std::string 清单 = 读测试文件(内容 / "releases/r1/manifest.json");
  std::string 改字节清单 = 清单;
  改字节清单[清单.find("r1")] = 's';
  std::string 改签名 = 签名("r1");
  改签名[0] = 改签名[0] == 'A' ? 'B' : 'A';
  struct 用例 {
    const char* 名称;
    std::string 受信任;
    std::optional<std::string> 签名;  // nullopt: the member is left out
    std::string 清单;
    std::uint32_t 期望;
  } 用例表[] = {
      {"signed by the trusted key", 旧钥, 签名("r1"), 清单, 成功},
      {"rotation: old key still trusted", 新钥 + "," + 旧钥, 签名("r1"), 清单, 成功},
      {"no keys: unsigned as before", "", std::nullopt, 清单, 成功},
      {"missing signature", 旧钥, std::nullopt, 清单, 发布清单哈希不符},
      {"unknown key", 新钥, 签名("r1"), 清单, 发布清单哈希不符},
      {"signature of another manifest", 旧钥, 签名("r2"), 清单, 发布清单哈希不符},
      {"flipped manifest byte", 旧钥, 签名("r1"), 改字节清单, 发布清单哈希不符},
      {"flipped signature byte", 旧钥, 改签名, 清单, 发布清单哈希不符},
  };
  环境变量保护 环境;
  环境.设置("SSL_CERT_FILE", 服务.CA文件());
  int 序号 = 0;
  for (const auto& 项 : 用例表) {
    json 本次策略 = 策略;
    if (项.签名) 本次策略["manifestSignature"] = *项.签名;
    if (!项.签名) 本次策略.erase("manifestSignature");
    for (const auto& 文件 : fs::recursive_directory_iterator(内容)) {
      if (文件.is_regular_file()) {
        服务.设置路由("GET", "/content/" + fs::relative(文件.path(), 内容).generic_u8string(), {应答(200, 读测试文件(文件.path()))});
      }
    }
    服务.设置路由("GET", "/content/releases/r1/manifest.json", {应答(200, 项.清单)});
    服务.设置路由("POST", "/update/v1/resolve", {应答(200, 本次策略.dump())});
    服务.设置路由("POST", "/update/v1/results", {应答(204)});
    const fs::path 根 = 目录.子路径("run" + std::to_string(++序号));
    更新协调器配置 配置;
    配置.programRoot = 宽(路径文本(根 / "program"));
    配置.stateRoot = 宽(路径文本(根 / "state"));
    配置.cacheRoot = 宽(路径文本(根 / "cache"));
    配置.resolveUrls = {宽(服务.地址("/update/v1/resolve"))};
    配置.trustedPublicKeys = 项.受信任;
    更新协调器结果 结果;
    std::wstring 错误;
    const std::size_t 此前请求 = 服务.已收请求().size();
    JsonHttp客户端 客户端;
    下载客户端 下载;
    EXPECT_EQ(运行更新协调器(配置, &客户端, &下载, &结果, &错误), 项.期望) << 项.名称;
    EXPECT_EQ(fs::exists(根 / "program/releases/r1"), 项.期望 == 成功) << 项.名称;
    int 对象请求 = 0;
    std::string 回报;
    const auto 请求表 = 服务.已收请求();
    for (auto 请求 = 请求表.begin() + static_cast<std::ptrdiff_t>(此前请求); 请求 != 请求表.end(); ++请求) {
      对象请求 += 请求->path.rfind("/content/objects/", 0) == 0 ? 1 : 0;
      if (请求->path == "/update/v1/results") 回报 = 请求->body;
    }
    if (项.期望 == 成功) continue;
    EXPECT_EQ(对象请求, 0) << 项.名称;
    EXPECT_NE(回报.find(R"("failureStage":"manifest")"), std::string::npos) << 项.名称 << 回报;
    EXPECT_NE(回报.find(R"("errorCode":3011)"), std::string::npos) << 项.名称 << 回报;
    const auto 期望消息 = 项.签名 ? 签名校验结果::未通过 : 签名校验结果::缺少签名;
    EXPECT_EQ(错误, 签名校验消息(期望消息)) << 项.名称;
  }
}

}  // namespace
}  // namespace tallybell
