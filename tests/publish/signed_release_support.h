// Signed releases made by the publishing tool: two keys, and releases r1 and r2 of the
// sample build signed with the older one, with a policy for r1.
#pragma once

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "common/text.h"
#include "documents/manifest_signature.h"
#include "publish/publish_test_support.h"
#include "support/lock_namespace.h"
#include "support/temp_dir.h"

namespace tallybell::测试 {

inline std::wstring 宽(const std::string& 文本) { return UTF8转宽宽松(文本); }

class 签名发布 : public testing::Test {
 protected:
  void 发布已签名(const std::string& 基础地址, const std::string& 清单地址, const std::string& 结果地址) {
    写构建(目录.子路径("build"), 样例构建());
    旧钥 = 生成密钥("old");
    新钥 = 生成密钥("new");
    for (const char* 标识 : {"r1", "r2"}) {
      const auto 结果 = 运行发布工具({"release", "--input", 路径文本(目录.子路径("build")), "--release-id", 标识,
                                      "--base-url", 基础地址, "--out", 路径文本(内容), "--signing-key",
                                      路径文本(目录.子路径("old.key"))});
      ASSERT_EQ(结果.退出码, 0u) << 结果.输出;
    }
    const auto 结果 = 运行发布工具({"policy", "--manifest", 路径文本(内容 / "releases/r1/manifest.json"), "--manifest-url",
                                    清单地址, "--policy-version", "1", "--assignment-id", "signed", "--check-after",
                                    "2020-01-01T00:00:00Z", "--result-url", 结果地址, "--out",
                                    路径文本(目录.子路径("policy.json"))});
    ASSERT_EQ(结果.退出码, 0u) << 结果.输出;
    策略 = nlohmann::json::parse(读测试文件(目录.子路径("policy.json")));
  }

  // The public key text key generate prints and leaves in "<file>.pub".
  std::string 生成密钥(const std::string& 名称) {
    const auto 私钥 = 目录.子路径(名称 + ".key");
    const auto 结果 = 运行发布工具({"key", "generate", "--out", 路径文本(私钥)});
    EXPECT_EQ(结果.退出码, 0u) << 结果.输出;
    const std::string 公钥 = 签名文件文本(读测试文件(目录.子路径(名称 + ".key.pub")));
    EXPECT_NE(结果.输出.find(公钥 + "\n"), std::string::npos);
    return 公钥;
  }

  std::string 签名(const char* 标识) { return 签名文件文本(读测试文件(内容 / "releases" / 标识 / "manifest.json.sig")); }

  私有锁命名空间 锁空间;
  测试临时目录 目录;
  std::filesystem::path 内容 = 目录.子路径("content");
  std::string 旧钥, 新钥;
  nlohmann::json 策略;
};

}  // namespace tallybell::测试
