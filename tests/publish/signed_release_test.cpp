// Signed ready-made releases in an offline fixture, signed and checked by the platform's
// own ECDSA (CNG in the Windows build): prepared with the signer's key trusted, refused
// with nothing committed otherwise.
#include <gtest/gtest.h>

#include <functional>

#include "common/codes.h"
#include "coordinator/coordinator.h"
#include "publish/signed_release_support.h"
#include "release/offline_preparation.h"
#include "support/state_files.h"
#include "transport/offline_fixture.h"

namespace tallybell {
namespace {

namespace fs = std::filesystem;
using namespace 测试;

TEST_F(签名发布, 离线夹具的现成版本只在签名与内容都对得上时准备) {
  发布已签名("https://content.example/tallybell", "https://updates.tallybell.example/releases/r1/manifest.json",
             "https://updates.tallybell.example/update/v1/results");
  const fs::path 夹具 = 目录.子路径("fixture");
  ASSERT_EQ(运行发布工具({"fixture", "--content", 路径文本(内容), "--release-id", "r1", "--policy",
                          路径文本(目录.子路径("policy.json")), "--out", 路径文本(夹具), "--ready-made"})
                .退出码,
            0u);
  const fs::path 签名文件 = "releases/r1/release.manifest.json.sig";
  ASSERT_EQ(签名文件文本(读测试文件(夹具 / 签名文件)), 签名("r1"));

  // The background check through the fixture takes the signature from its policy.
  更新协调器配置 配置;
  配置.programRoot = 宽(路径文本(目录.子路径("bg/program")));
  配置.stateRoot = 宽(路径文本(目录.子路径("bg/state")));
  配置.cacheRoot = 宽(路径文本(目录.子路径("bg/cache")));
  配置.resolveUrls = {L"https://updates.tallybell.example/update/v1/resolve"};
  配置.trustedPublicKeys = 旧钥;
  更新协调器结果 结果;
  离线更新夹具传输 传输(宽(路径文本(夹具)));
  EXPECT_EQ(运行更新协调器(配置, &传输, &传输, &结果, nullptr), 成功);
  EXPECT_TRUE(结果.releasePrepared);
  // Without a signature in the policy, or with one the trusted keys did not make, the check
  // ends in the manifest stage: nothing is staged or installed, and the result says so.
  const struct {
    const char* 名称;
    std::string 受信任;
    std::function<void(nlohmann::json&)> 改;
  } 拒绝表[] = {
      {"missing signature", 旧钥, [](nlohmann::json& 策) { 策.erase("manifestSignature"); }},
      {"unknown key", 新钥, [](nlohmann::json&) {}},
      {"signature of another manifest", 旧钥, [&](nlohmann::json& 策) { 策["manifestSignature"] = 签名("r2"); }},
  };
  for (const auto& 项 : 拒绝表) {
    const fs::path 根 = 目录.子路径(std::string("refused-") + 项.名称);
    fs::create_directories(根);
    fs::copy(夹具, 根 / "fixture", fs::copy_options::recursive);
    nlohmann::json 本次策略 = 策略;
    项.改(本次策略);
    写测试文件(根 / "fixture/policy.json", 本次策略.dump());
    配置.programRoot = 宽(路径文本(根 / "program"));
    配置.stateRoot = 宽(路径文本(根 / "state"));
    配置.cacheRoot = 宽(路径文本(根 / "cache"));
    配置.trustedPublicKeys = 项.受信任;
    离线更新夹具传输 拒绝传输(宽(路径文本(根 / "fixture")));
    EXPECT_EQ(运行更新协调器(配置, &拒绝传输, &拒绝传输, &结果, nullptr), 发布清单哈希不符) << 项.名称;
    EXPECT_FALSE(fs::exists(根 / "program/releases/r1") || fs::exists(根 / "cache")) << 项.名称;
    const std::string 回报 = 读测试文件(根 / "fixture/reported-results.ndjson");
    EXPECT_NE(回报.find(R"("errorCode":3011,"eventId")"), std::string::npos) << 项.名称 << 回报;
    EXPECT_NE(回报.find(R"("failureStage":"manifest")"), std::string::npos) << 项.名称 << 回报;
  }

  using 改动 = std::function<void(const fs::path&)>;
  const 改动 不改 = [](const fs::path&) {};
  struct 用例 {
    const char* 名称;
    std::string 受信任;
    改动 改;
    std::uint32_t 期望;
  } 用例表[] = {
      {"signed by the trusted key", 旧钥, 不改, 成功},
      {"rotation: old key still trusted", 旧钥 + " " + 新钥, 不改, 成功},
      {"missing signature", 旧钥, [&](const fs::path& 夹) { fs::remove(夹 / 签名文件); }, 发布清单哈希不符},
      {"no keys: unsigned as before", "", [&](const fs::path& 夹) { fs::remove(夹 / 签名文件); }, 成功},
      {"signature of another manifest", 旧钥,
       [&](const fs::path& 夹) { 写测试文件(夹 / 签名文件, 签名("r2")); }, 发布清单哈希不符},
      {"flipped manifest byte", 旧钥,
       [&](const fs::path& 夹) {
         std::string 文本 = 读测试文件(夹 / "releases/r1/release.manifest.json");
         文本[文本.size() - 2] ^= 1;
         写测试文件(夹 / "releases/r1/release.manifest.json", 文本);
       },
       发布清单哈希不符},
      {"file not the signed one", 旧钥,
       [&](const fs::path& 夹) { 写测试文件(夹 / "releases/r1/Tallybell.exe", "Tallybell sample executablX\n"); },
       发布清单哈希不符},
  };
  int 序号 = 0;
  for (const auto& 项 : 用例表) {
    const fs::path 根 = 目录.子路径("offline" + std::to_string(++序号));
    fs::create_directories(根);
    fs::copy(夹具, 根 / "fixture", fs::copy_options::recursive);
    项.改(根 / "fixture");
    离线准备请求 请求;
    请求.fixtureDir = 宽(路径文本(根 / "fixture"));
    请求.programRoot = 宽(路径文本(根 / "program"));
    请求.stateRoot = 宽(路径文本(根 / "state"));
    请求.releaseId = L"r1";
    请求.trustedPublicKeys = 项.受信任;
    本地版本状态 状态;
    状态.generation = 1;
    写状态文件(根 / "state", 状态);
    EXPECT_EQ(准备离线版本(请求, nullptr), 项.期望) << 项.名称;
    EXPECT_EQ(fs::exists(根 / "program/releases/r1"), 项.期望 == 成功) << 项.名称;
  }
}

}  // namespace
}  // namespace tallybell
