// Signature checks on fixed signatures made with the OpenSSL command line (the Windows
// build checks the same ones through CNG), and signatures made by the platform itself.
#include "documents/manifest_signature.h"

#include <gtest/gtest.h>

#include <string>

#include "common/base64.h"
#include "documents/policy.h"
#include "documents/sha256.h"

namespace tallybell {
namespace {

const std::string 钥A =
    "MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAEkg5cPXn8ibgTWa63CSCeSBUxaXEwALyRHfTqd0jwsGe1fYpkKPSMQrw/NCKRTeUxLX5ew7Vk9ytCGr2YtNdXuA==";
const std::string 钥B =
    "MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAEEcPwF5owpndvxTrNbptadoPJRJ4TgYe4yixRnt0KXHyz4rWbrIhOQ1tDxm5nBAtbW+NL8TO5RNtbEXQAicnNMw==";
const std::string 清单1 = R"({"releaseId":"r1"})";
const std::string 清单2 = R"({"releaseId":"r2"})";
const std::string A签清单1 = "iaQg4yDjvkIk00lNZLE+Gshx98MR4g+erIu+poJutngVGxh87xbj/OUFlAUyG0x6vNh4Skiimp70CcrpN6iHcg==";
const std::string A签清单2 = "0MFNu609xSztFs88DNcuJHLfIVk8K81HTNY9D1fn0mbkMb/7PV3PaTt3gxMcQcBieWVDi66t2j+BVaCySHh0cg==";
const std::string B签清单1 = "wVBhlNqnCGmeKBn2uhSEte1UCUdrKysCbW4IbPl1twIRhL9GvDInykC05Sqz7GVxqaji44usvkN3FalE0VwSIQ==";

std::string 改一个字符(std::string 文本, std::size_t 位置) {
  文本[位置] = 文本[位置] == 'A' ? 'B' : 'A';
  return 文本;
}

TEST(发布清单签名, 只有受信任的密钥对这份清单的签名才通过) {
  using 结果 = 签名校验结果;
  const std::string 零签名 = Base64编码(std::vector<unsigned char>(64, 0));
  struct 用例 {
    const char* 名称;
    std::string 受信任;
    std::string 清单;
    std::string 签名;
    结果 期望;
  } 用例表[] = {
      {"no keys: nothing checked", "", 清单1, "", 结果::未要求},
      {"no keys: even a bad signature", "", 清单1, "garbage", 结果::未要求},
      {"trusted key", 钥A, 清单1, A签清单1, 结果::已通过},
      {"missing signature", 钥A, 清单1, "", 结果::缺少签名},
      {"unknown key", 钥B, 清单1, A签清单1, 结果::未通过},
      {"signature of another manifest", 钥A, 清单1, A签清单2, 结果::未通过},
      {"flipped manifest byte", 钥A, R"({"releaseId":"r3"})", A签清单1, 结果::未通过},
      {"flipped signature character", 钥A, 清单1, 改一个字符(A签清单1, 10), 结果::未通过},
      {"unused bits of the last character set", 钥A, 清单1, A签清单1.substr(0, 85) + "h==", 结果::未通过},
      {"r and s zero", 钥A, 清单1, 零签名, 结果::未通过},
      {"rotation: old key of two", 钥B + "," + 钥A, 清单1, A签清单1, 结果::已通过},
      {"rotation: new key of two", 钥A + " " + 钥B, 清单1, B签清单1, 结果::已通过},
      {"three keys are refused", 钥A + "," + 钥B + "," + 钥A, 清单1, A签清单1, 结果::未通过},
      {"a malformed key refuses all", 钥A + ",x", 清单1, A签清单1, 结果::未通过},
      {"point not on the curve", 改一个字符(钥A, 100), 清单1, A签清单1, 结果::未通过},
      {"only separators", " , ", 清单1, A签清单1, 结果::未通过},
  };
  for (const auto& 项 : 用例表) {
    EXPECT_EQ(校验发布清单签名(项.受信任, 项.清单, 项.签名), 项.期望) << 项.名称;
  }
  EXPECT_EQ(A签清单1.substr(0, 85) + "g==", A签清单1) << "the unused-bits case must differ from the signature";
}

TEST(发布清单签名, 平台生成的密钥签署的清单可以用公钥文本验证) {
  platform::P256私钥 私钥;
  platform::P256公钥 公钥;
  ASSERT_TRUE(platform::生成P256密钥(&私钥, &公钥));
  platform::SHA256摘要 摘要;
  ASSERT_TRUE(计算数据SHA256(清单2.data(), 清单2.size(), 摘要.data()));
  platform::P256签名 签名;
  ASSERT_TRUE(platform::签署P256(私钥, 公钥, 摘要, &签名));
  const std::string 公钥串 = 公钥文本(公钥);
  EXPECT_EQ(公钥串.compare(0, 36, 钥A, 0, 36), 0);
  EXPECT_EQ(校验发布清单签名(公钥串, 清单2, 签名文本(签名)), 签名校验结果::已通过);
  EXPECT_EQ(校验发布清单签名(公钥串, 清单1, 签名文本(签名)), 签名校验结果::未通过);
  EXPECT_EQ(校验发布清单签名(钥A, 清单2, 签名文本(签名)), 签名校验结果::未通过);
}

TEST(发布清单签名, 策略带着签名文本而不改变其内容标识) {
  const std::string 无签名 =
      R"({"policyVersion":1,"assignmentId":"a","action":"update","targetReleaseId":"r1","manifestUrl":"https://u.example/m.json",)"
      R"("manifestHash":")" + std::string(64, 'a') + R"(","checkAfter":"2026-01-01T00:00:00Z")";
  版本策略 原策略, 签名策略, 非字符串策略;
  ASSERT_TRUE(解析版本策略(无签名 + "}", &原策略));
  ASSERT_TRUE(解析版本策略(无签名 + R"(,"manifestSignature":")" + A签清单1 + "\"}", &签名策略));
  ASSERT_TRUE(解析版本策略(无签名 + R"(,"manifestSignature":7})", &非字符串策略));
  EXPECT_EQ(签名策略.manifestSignature, A签清单1);
  EXPECT_EQ(非字符串策略.manifestSignature, "");
  EXPECT_EQ(策略内容标识(签名策略), 策略内容标识(原策略));
}

}  // namespace
}  // namespace tallybell
