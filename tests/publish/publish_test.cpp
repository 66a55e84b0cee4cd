// The publishing tool through the built program: release and verify checked with the core's
// manifest and object rules, the policy command against the core's policy parser, fixtures,
// and the fixtures it makes from what it published.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include <nlohmann/json.hpp>

#include "common/codes.h"
#include "common/text.h"
#include "coordinator/coordinator.h"
#include "documents/manifest.h"
#include "documents/manifest_signature.h"
#include "download/object_cache.h"
#include "publish/content_store.h"
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

class 发布工具 : public ::testing::Test {
 protected:
  void SetUp() override { 写构建(构建(), 样例构建()); }
  fs::path 构建() const { return 目录_.子路径("build"); }
  fs::path 内容() const { return 目录_.子路径("content"); }
  fs::path 对象(const std::string& 数据) const { return 内容() / "objects" / (测试SHA256(数据) + ".object"); }
  测试临时目录 目录_;
};

TEST_F(发布工具, 发布与校验_每份内容一个对象_损坏都被报告) {
  const auto 哈希 = 发布(构建(), "r1", 内容(), {"--base-url", "https://a.example/c/", "--base-url", "https://b.example"});
  const fs::path 清单文件 = 内容() / "releases/r1/manifest.json";
  ASSERT_EQ(哈希, 测试SHA256(读测试文件(清单文件)));
  发布清单 清单;
  std::wstring 错误;
  ASSERT_TRUE(解析发布清单(读测试文件(清单文件), &清单, &错误));
  std::vector<std::string> 路径;
  for (const auto& 文件 : 清单.files) 路径.push_back(文件.path);
  // Sorted by the bytes of the path, whatever order the directory listed them in.
  EXPECT_EQ(路径, (std::vector<std::string>{"Tallybell.exe", "bin/core-copy.dll", "bin/core.dll", "docs/读我.txt"}));
  for (const auto& [文件路径, 数据] : 样例构建()) {
    const auto 条目 = std::find_if(清单.files.begin(), 清单.files.end(), [&](const 发布文件& 项) { return 项.path == 文件路径; });
    ASSERT_NE(条目, 清单.files.end());
    EXPECT_EQ(条目->size, 数据.size());
    EXPECT_EQ(条目->downloadUrls, (std::vector<std::string>{"https://a.example/c/objects/" + 条目->sha256 + ".object",
                                                           "https://b.example/objects/" + 条目->sha256 + ".object"}));
    EXPECT_TRUE(缓存对象有效(对象(数据).wstring(), 条目->sha256, 条目->size)) << 文件路径;
  }
  EXPECT_EQ(目录内容(内容() / "objects").size(), 3u);  // the two equal libraries share one object
  const auto 完好 = 运行发布工具({"verify", "--content", 路径文本(内容())});
  EXPECT_EQ(完好.退出码, 0u) << 完好.输出;

  // A flipped byte (both libraries lose their object), a missing object, and a manifest
  // entry whose size is not its object's.
  std::string 数据 = 读测试文件(对象(std::string(3000, 'c')));
  数据[1234] ^= 0x01;
  写测试文件(对象(std::string(3000, 'c')), 数据);
  fs::remove(对象("sample release notes\n"));
  std::string 清单文本 = 读测试文件(清单文件);
  const std::string 大小 = "\"size\":" + std::to_string(样例构建()[0].second.size()) + "}";
  ASSERT_NE(清单文本.find(大小), std::string::npos) << 清单文本;
  写测试文件(清单文件, 清单文本.replace(清单文本.find(大小), 大小.size(), "\"size\":1}"));
  const auto 损坏 = 运行发布工具({"verify", "--content", 路径文本(内容())});
  EXPECT_EQ(损坏.退出码, 5u) << 损坏.输出;
  EXPECT_NE(损坏.输出.find("objects/" + 测试SHA256(std::string(3000, 'c')) + ".object"), std::string::npos) << 损坏.输出;
  EXPECT_NE(损坏.输出.find("5 problems"), std::string::npos) << 损坏.输出;

  // Publishing over a damaged object refuses with 5, leaves it alone and writes no manifest.
  const auto 再发布 = 运行发布工具({"release", "--input", 路径文本(构建()), "--release-id", "r2", "--base-url",
                                    "https://content.example/tallybell", "--out", 路径文本(内容())});
  EXPECT_EQ(再发布.退出码, 5u) << 再发布.输出;
  EXPECT_EQ(读测试文件(对象(std::string(3000, 'c'))), 数据);
  EXPECT_FALSE(fs::exists(内容() / "releases/r2"));

  // A source whose bytes are not those its name was taken from (changed after the scan)
  // is never stored under that name.
  const std::string 另一份 = std::string(2999, 'c') + "d";
  EXPECT_EQ(存放对象(目录_.宽路径("store"), (构建() / "bin/core.dll").wstring(), 测试SHA256(另一份), 3000),
            对象存放结果::源已改变);
  EXPECT_TRUE(!fs::exists(目录_.子路径("store")) || 目录内容(目录_.子路径("store")).empty());
}

TEST_F(发布工具, 夹具只接受指向该清单的策略且不覆盖已有目录也不用坏对象) {
  发布(构建(), "r1", 内容());
  写测试文件(构建() / "bin/core.dll", "other");
  发布(构建(), "r2", 内容());
  const std::string 策略 = 路径文本(目录_.子路径("fixture-policy.json"));
  ASSERT_EQ(运行发布工具({"policy", "--manifest", 路径文本(内容() / "releases/r2/manifest.json"), "--manifest-url",
                          "https://u.example/r2/manifest.json", "--policy-version", "1", "--assignment-id", "a",
                          "--check-after", "2020-01-01T00:00:00Z", "--out", 策略})
                .退出码,
            0u);
  const auto 夹具 = [&](const char* 发布标识, const char* 输出) {
    return 运行发布工具({"fixture", "--content", 路径文本(内容()), "--release-id", 发布标识, "--policy", 策略, "--out",
                         路径文本(目录_.子路径(输出))});
  };
  EXPECT_EQ(夹具("r2", "fixture").退出码, 0u);
  EXPECT_EQ(夹具("r1", "other").退出码, 3u);
  EXPECT_EQ(夹具("r2", "fixture").退出码, 6u);
  std::string 数据 = 读测试文件(对象("other"));
  数据[0] = 'O';
  写测试文件(对象("other"), 数据);
  EXPECT_EQ(夹具("r2", "fixture-b").退出码, 5u);
  EXPECT_EQ(目录内容(目录_.路径()), (std::vector<std::string>{"build", "content", "fixture", "fixture-policy.json"}));
}

// What the core's policy parser would refuse is refused (its rules are the policy parse's
// table), and nothing is written; the same arguments otherwise are written.
TEST_F(发布工具, 策略命令拒绝核心不接受的值) {
  发布(构建(), "2026.12.1", 内容());
  写测试文件(目录_.子路径("bad.json"), "{\"formatVersion\":2}");
  struct 情形 {
    std::vector<std::string> 替换;
    std::uint32_t 代码;
  };
  const std::vector<情形> 表 = {
      {{"--manifest-url", "http://other.example/m.json"}, 3},
      {{"--policy-version", "0"}, 3},
      {{"--assignment-id", std::string(257, 'a')}, 3},
      {{"--policy-version", "-1"}, 2},
      {{"--policy-version", "18446744073709551616"}, 2},
      {{"--manifest", "/nonexistent/manifest.json"}, 4},
      {{"--manifest", 路径文本(目录_.子路径("bad.json"))}, 3},
      {{"--unknown", "x"}, 2},
      {{"--out", ""}, 2},
      {{"--policy-version", "8"}, 0},  // the same arguments otherwise are sound
  };
  for (const auto& 项 : 表) {
    std::vector<std::string> 参数 = {"policy", "--manifest", 路径文本(内容() / "releases/2026.12.1/manifest.json"),
                                     "--manifest-url", "http://content.tallybell.example/releases/2026.12.1/manifest.json",
                                     "--policy-version", "7", "--assignment-id", "canary 5%", "--check-after",
                                     "2026-12-06T12:00:00+08:00", "--out", 路径文本(目录_.子路径("out/policy.json"))};
    const auto 位置 = std::find(参数.begin(), 参数.end(), 项.替换[0]);
    if (位置 == 参数.end()) 参数.insert(参数.end(), 项.替换.begin(), 项.替换.end());
    else *(位置 + 1) = 项.替换[1];
    const auto 结果 = 运行发布工具(参数);
    EXPECT_EQ(结果.退出码, 项.代码) << 项.替换[0] << " " << 项.替换[1] << "\n" << 结果.输出;
    EXPECT_EQ(fs::exists(目录_.子路径("out/policy.json")), 项.代码 == 0) << 项.替换[0];
  }
}

std::wstring 宽(const fs::path& 路径) { return UTF8转宽宽松(路径文本(路径)); }

// Signed ready-made releases in an offline fixture, made by the publishing tool (two keys;
// r1 and r2 of the sample build signed with the older one, a policy for r1), signed and
// checked by the platform's own ECDSA (CNG in the Windows build): prepared with the signer's
// key trusted, refused with nothing committed otherwise, through the background check and
// through offline preparation.
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
    发布(目录.子路径("build"), 标识, 内容,
         {"--base-url", "https://content.example/tallybell", "--signing-key", 路径文本(目录.子路径("old.key"))});
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
