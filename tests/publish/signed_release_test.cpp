// Signed ready-made releases in an offline fixture, made by the publishing tool (two keys;
// r1 and r2 of the sample build signed with the older one, a policy for r1), signed and
// checked by the platform's own ECDSA (CNG in the Windows build): prepared with the signer's
// key trusted, refused with nothing committed otherwise, through the background check and
// through offline preparation.
#include <gtest/gtest.h>

#include <functional>

#include <nlohmann/json.hpp>

#include "common/codes.h"
#include "common/text.h"
#include "coordinator/coordinator.h"
#include "documents/manifest_signature.h"
#include "publish/publish_test_support.h"
#include "release/offline_preparation.h"
#include "support/lock_namespace.h"
#include "support/state_files.h"
#include "support/temp_dir.h"
#include "transport/offline_fixture.h"

namespace tallybell {
namespace {

namespace fs = std::filesystem;
using namespace 测试;

std::wstring 宽(const fs::path& 路径) { return UTF8转宽宽松(路径文本(路径)); }

TEST(签名发布, 离线夹具的现成版本只在签名与内容都对得上时准备) {
  私有锁命名空间 锁空间;
  测试临时目录 目录;
  const fs::path 内容 = 目录.子路径("content"), 夹具 = 目录.子路径("fixture"), 策略文件 = 目录.子路径("policy.json");
  // The public key text key generate prints and leaves in "<file>.pub".
  const auto 生成密钥 = [&](const std::string& 名称) {
    const auto 结果 = 运行发布工具({"key", "generate", "--out", 路径文本(目录.子路径(名称 + ".key"))});
    EXPECT_EQ(结果.退出码, 0u) << 结果.输出;
    const std::string 公钥 = 签名文件文本(读测试文件(目录.子路径(名称 + ".key.pub")));
    EXPECT_NE(结果.输出.find(公钥 + "\n"), std::string::npos);
    return 公钥;
  };
  const std::string 旧钥 = 生成密钥("old"), 新钥 = 生成密钥("new");
  写构建(目录.子路径("build"), 样例构建());
  for (const char* 标识 : {"r1", "r2"}) {
    const auto 结果 = 运行发布工具({"release", "--input", 路径文本(目录.子路径("build")), "--release-id", 标识,
                                    "--base-url", "https://content.example/tallybell", "--out", 路径文本(内容),
                                    "--signing-key", 路径文本(目录.子路径("old.key"))});
    ASSERT_EQ(结果.退出码, 0u) << 结果.输出;
  }
  ASSERT_EQ(运行发布工具({"policy", "--manifest", 路径文本(内容 / "releases/r1/manifest.json"), "--manifest-url",
                          "https://updates.tallybell.example/releases/r1/manifest.json", "--policy-version", "1",
                          "--assignment-id", "signed", "--check-after", "2020-01-01T00:00:00Z", "--result-url",
                          "https://updates.tallybell.example/update/v1/results", "--out", 路径文本(策略文件)})
                .退出码,
            0u);
  ASSERT_EQ(运行发布工具({"fixture", "--content", 路径文本(内容), "--release-id", "r1", "--policy", 路径文本(策略文件),
                          "--out", 路径文本(夹具), "--ready-made"})
                .退出码,
            0u);
  const auto 签名 = [&](const char* 标识) { return 签名文件文本(读测试文件(内容 / "releases" / 标识 / "manifest.json.sig")); };
  const fs::path 签名文件 = "releases/r1/release.manifest.json.sig";
  ASSERT_EQ(签名文件文本(读测试文件(夹具 / 签名文件)), 签名("r1"));

  // The background check takes the signature from the policy; offline preparation from the
  // file beside the ready-made release's manifest.
  using 改动 = std::function<void(const fs::path&)>;
  const 改动 不改 = [](const fs::path&) {};
  const auto 改策略 = [&](std::function<void(nlohmann::json&)> 改) -> 改动 {
    return [=](const fs::path& 夹) {
      auto 策略 = nlohmann::json::parse(读测试文件(策略文件));
      改(策略);
      写测试文件(夹 / "policy.json", 策略.dump());
    };
  };
  const struct {
    const char* 名称;
    bool 后台;
    std::string 受信任;
    改动 改;
    std::uint32_t 期望;
  } 用例表[] = {
      {"background: signed by the trusted key", true, 旧钥, 不改, 成功},
      {"background: missing signature", true, 旧钥, 改策略([](auto& 策) { 策.erase("manifestSignature"); }),
       发布清单哈希不符},
      {"background: unknown key", true, 新钥, 不改, 发布清单哈希不符},
      {"background: signature of another manifest", true, 旧钥,
       改策略([&](auto& 策) { 策["manifestSignature"] = 签名("r2"); }), 发布清单哈希不符},
      {"signed by the trusted key", false, 旧钥, 不改, 成功},
      {"rotation: old key still trusted", false, 旧钥 + " " + 新钥, 不改, 成功},
      {"missing signature", false, 旧钥, [&](const fs::path& 夹) { fs::remove(夹 / 签名文件); }, 发布清单哈希不符},
      {"no keys: unsigned as before", false, "", [&](const fs::path& 夹) { fs::remove(夹 / 签名文件); }, 成功},
      {"signature of another manifest", false, 旧钥, [&](const fs::path& 夹) { 写测试文件(夹 / 签名文件, 签名("r2")); },
       发布清单哈希不符},
      {"flipped manifest byte", false, 旧钥,
       [&](const fs::path& 夹) {
         std::string 文本 = 读测试文件(夹 / "releases/r1/release.manifest.json");
         文本[文本.size() - 2] ^= 1;
         写测试文件(夹 / "releases/r1/release.manifest.json", 文本);
       },
       发布清单哈希不符},
      {"file not the signed one", false, 旧钥,
       [&](const fs::path& 夹) { 写测试文件(夹 / "releases/r1/Tallybell.exe", "Tallybell sample executablX\n"); },
       发布清单哈希不符},
  };
  int 序号 = 0;
  for (const auto& 项 : 用例表) {
    SCOPED_TRACE(项.名称);
    const fs::path 根 = 目录.子路径("run" + std::to_string(++序号));
    fs::create_directories(根);
    fs::copy(夹具, 根 / "fixture", fs::copy_options::recursive);
    项.改(根 / "fixture");
    if (项.后台) {
      更新协调器配置 配置;
      配置.programRoot = 宽(根 / "program");
      配置.stateRoot = 宽(根 / "state");
      配置.cacheRoot = 宽(根 / "cache");
      配置.resolveUrls = {L"https://updates.tallybell.example/update/v1/resolve"};
      配置.trustedPublicKeys = 项.受信任;
      更新协调器结果 结果;
      离线更新夹具传输 传输(宽(根 / "fixture"));
      EXPECT_EQ(运行更新协调器(配置, &传输, &传输, &结果, nullptr), 项.期望);
      EXPECT_EQ(结果.releasePrepared, 项.期望 == 成功);
      if (项.期望 == 成功) continue;
      // A refusal ends the check in the manifest stage: nothing is staged or installed, and
      // the result says so.
      EXPECT_FALSE(fs::exists(根 / "program/releases/r1") || fs::exists(根 / "cache"));
      const std::string 回报 = 读测试文件(根 / "fixture/reported-results.ndjson");
      EXPECT_NE(回报.find(R"("errorCode":3011,"eventId")"), std::string::npos) << 回报;
      EXPECT_NE(回报.find(R"("failureStage":"manifest")"), std::string::npos) << 回报;
    } else {
      离线准备请求 请求;
      请求.fixtureDir = 宽(根 / "fixture");
      请求.programRoot = 宽(根 / "program");
      请求.stateRoot = 宽(根 / "state");
      请求.releaseId = L"r1";
      请求.trustedPublicKeys = 项.受信任;
      本地版本状态 状态;
      状态.generation = 1;
      写状态文件(根 / "state", 状态);
      EXPECT_EQ(准备离线版本(请求, nullptr), 项.期望);
      EXPECT_EQ(fs::exists(根 / "program/releases/r1"), 项.期望 == 成功);
    }
  }
}

}  // namespace
}  // namespace tallybell
