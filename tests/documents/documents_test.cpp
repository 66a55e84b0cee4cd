#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "common/base64.h"
#include "documents/json_output.h"
#include "documents/json_value.h"
#include "documents/manifest.h"
#include "documents/manifest_signature.h"
#include "documents/policy.h"
#include "documents/sha256.h"
#include "support/file_helpers.h"
#include "support/temp_dir.h"

namespace tallybell {
namespace {

using nlohmann::json;

// The documents the update core trusts: digests, release manifests, version policies and
// the canonical JSON form their checksums and content identities are computed over.
const std::string 哈希A(64, 'a');
const std::string 内容主机 = TALLYBELL_CONTENT_HOST;

// A file of several read chunks hashes like the same bytes in memory.
TEST(SHA256, 已知摘要且文件与数据一致) {
  测试::测试临时目录 目录;
  std::string 大文件(3 * 1048576 + 17, '\0');
  for (std::size_t i = 0; i < 大文件.size(); ++i) 大文件[i] = static_cast<char>(i * 31 + i / 4099);
  for (const std::string& 数据 : {std::string("abc"), 大文件}) {
    测试::写测试文件(目录.子路径("f"), 数据);
    unsigned char 文件摘要[SHA256字节数], 数据摘要[SHA256字节数];
    ASSERT_TRUE(计算文件SHA256(目录.宽路径("f"), 文件摘要));
    ASSERT_TRUE(计算数据SHA256(数据.data(), 数据.size(), 数据摘要));
    EXPECT_EQ(转小写十六进制(文件摘要), 转小写十六进制(数据摘要));
    if (数据 == "abc") { EXPECT_EQ(转小写十六进制(文件摘要), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"); }
  }
  unsigned char 摘要[SHA256字节数];
  EXPECT_FALSE(计算文件SHA256(目录.宽路径("missing"), 摘要));
}

json 有效清单() {
  return {{"formatVersion", 1},
          {"releaseId", "r12.3-beta_4"},
          {"files",
           {{{"path", "bin/app.dll"}, {"sha256", 哈希A}, {"size", 10},
             {"downloadUrls", {"HTTPS://Mirror.Example/A?x=1", "http://" + 内容主机 + "/a"}}},
            {{"path", "Tallybell.exe"}, {"sha256", 哈希A}, {"size", 0},
             {"downloadUrls", {"https://mirror.example/b"}}}}}};
}

// One member of a valid document replaced (none for an empty pointer), and whether the
// parse then accepts it.
struct 变更 {
  std::string 指针;
  json 值;
  bool 接受;
};

json 改后(json 文档, const 变更& 项) {
  if (!项.指针.empty()) 文档[json::json_pointer(项.指针)] = 项.值;
  return 文档;
}

TEST(发布清单解析, 每条规则) {
  const auto 地址 = [](const std::string& 网址) { return json::array({网址}); };
  const std::vector<变更> 表 = {
      {"", {}, true}, {"/formatVersion", 2, false}, {"/formatVersion", 0, false}, {"/releaseId", "a/b", false},
      {"/releaseId", std::string(129, 'x'), false}, {"/files", json::array(), false},
      {"/files/0/path", "/a", false}, {"/files/0/path", "a/../b", false}, {"/files/0/path", "a//b", false},
      {"/files/0/path", "a\\b", false}, {"/files/0/path", "C:a", false}, {"/files/0/path", "./a", false},
      {"/files/1/path", "BIN/App.dll", false},  // the other file's path in other case
      {"/files/0/sha256", std::string(64, 'A'), false}, {"/files/0/sha256", std::string(63, 'a'), false},
      {"/files/0/size", -1, false}, {"/files/0/size", 18446744073709551615u, true},
      {"/files/0/downloadUrls", json::array(), false}, {"/files/0/downloadUrls", 地址("http://other.example/x"), false},
      {"/files/0/downloadUrls", 地址("ftp://a.example/x"), false},
      {"/files/0/downloadUrls", 地址("http://" + 内容主机 + ":8080/x"), false},
      {"/files/0/downloadUrls", 地址("https://a.example/caf\u00e9"), true},  // raw UTF-8 over HTTPS
  };
  for (const auto& 项 : 表) {
    发布清单 清单;
    EXPECT_EQ(解析发布清单(改后(有效清单(), 项).dump(), &清单), 项.接受) << 项.指针 << " = " << 项.值.dump();
  }
}

json 有效策略() {
  return {{"policyVersion", 7},
          {"assignmentId", "as"},
          {"action", "update"},
          {"targetReleaseId", "r12.3-beta_4"},
          {"manifestUrl", "https://updates.example/releases/r12.3-beta_4/manifest.json"},
          {"manifestHash", 哈希A},
          {"checkAfter", "2024-05-01T08:00:00Z"},
          {"resultReportUrls", {"https://a.example/update/v1/results", "https://b.example/r"}}};
}

TEST(版本策略解析, 每条规则) {
  const json 三个 = {"https://a.example/1", "https://a.example/2", "https://a.example/3"};
  const json 四个 = {"https://a.example/1", "https://a.example/2", "https://a.example/3", "https://a.example/4"};
  const std::vector<变更> 表 = {
      {"", {}, true}, {"/note", "x", true}, {"/policyVersion", 0, false}, {"/action", "rollback", false},
      // An id no result event can carry would make every report of the attempt disappear.
      {"/assignmentId", "", false}, {"/assignmentId", std::string(256, 'a'), true},
      {"/assignmentId", std::string(257, 'a'), false}, {"/assignmentId", "a\nb", false},
      {"/assignmentId", "a\rb", false}, {"/targetReleaseId", "a/b", false},
      {"/manifestUrl", "http://updates.example/m.json", false}, {"/manifestHash", std::string(64, 'A'), false},
      {"/checkAfter", "2024-05-01T08:00:00", false}, {"/checkAfter", "2024-05-01T08:00:00+02:00", true},
      {"/resultReportUrls", 三个, true}, {"/resultReportUrls", 四个, false}, {"/resultReportUrls", json::array(), false},
      {"/resultReportUrls", json::array({"https://a.example/1", "https://a.example/1"}), false},
      {"/resultReportUrls", json::array({"http://" + 内容主机 + "/r"}), false},
      // The signature text rides along (what it signs is the manifest, not the policy).
      {"/manifestSignature", "c2ln", true}, {"/manifestSignature", 7, true},
  };
  // The content identity ignores member order, layout, unknown members and the signature,
  // but not content.
  版本策略 原策略;
  ASSERT_TRUE(解析版本策略(有效策略().dump(), &原策略));
  for (const auto& 项 : 表) {
    const json 文档 = 改后(有效策略(), 项);
    版本策略 策略;
    EXPECT_EQ(解析版本策略(文档.dump(), &策略), 项.接受) << 项.指针 << " = " << 项.值.dump();
    if (项.接受) {
      const bool 同内容 = 文档 == 有效策略() || 文档.contains("note") || 文档.contains("manifestSignature");
      EXPECT_EQ(策略内容标识(策略) == 策略内容标识(原策略), 同内容) << 项.指针;
      EXPECT_EQ(策略.manifestSignature, 文档.value("manifestSignature", json()) == "c2ln" ? "c2ln" : "") << 项.指针;
    }
  }
  版本策略 重排;
  const json 有效 = 有效策略();
  nlohmann::ordered_json 倒序 = nlohmann::ordered_json::object();
  for (auto 项 = 有效.rbegin(); 项 != 有效.rend(); ++项) 倒序[项.key()] = *项;
  ASSERT_TRUE(解析版本策略(倒序.dump(2), &重排));
  EXPECT_EQ(策略内容标识(重排), 策略内容标识(原策略));
}

// Checksums are computed over this form: members in byte order, compact, UTF-8 kept,
// only the escapes JSON requires.
TEST(JSON, 规范文本与嵌套深度) {
  Json值 值;
  ASSERT_TRUE(Json值::解析("{ \"b\": [1, -2, true, null], \"a\": \"\xE4\xB8\xAD\\u0001\\/\\\"\" }", &值));
  std::string 文本;
  ASSERT_TRUE(序列化JSON(值, &文本));
  EXPECT_EQ(文本, "{\"a\":\"\xE4\xB8\xAD\\u0001/\\\"\",\"b\":[1,-2,true,null]}");
  // At most 32 levels of nesting, so a hostile document cannot exhaust the stack.
  const auto 嵌套 = [](int 层) { return std::string(层, '[') + std::string(层, ']'); };
  EXPECT_TRUE(Json值::解析(嵌套(32), &值));
  EXPECT_FALSE(Json值::解析(嵌套(33), &值));
  EXPECT_FALSE(序列化JSON(Json值::字符串("\xC3"), &文本));
}

// Signature checks on fixed signatures made with the OpenSSL command line (the Windows
// build checks the same ones through CNG). Signatures the platform makes are checked by the
// signed-release tests of the publishing tool.
const std::string 钥A =
    "MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAEkg5cPXn8ibgTWa63CSCeSBUxaXEwALyRHfTqd0jwsGe1fYpkKPSMQrw/NCKRTeUxLX5ew7Vk9ytCGr2YtNdXuA==";
const std::string 钥B =
    "MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAEEcPwF5owpndvxTrNbptadoPJRJ4TgYe4yixRnt0KXHyz4rWbrIhOQ1tDxm5nBAtbW+NL8TO5RNtbEXQAicnNMw==";
const std::string 清单1 = R"({"releaseId":"r1"})";
const std::string A签清单1 = "iaQg4yDjvkIk00lNZLE+Gshx98MR4g+erIu+poJutngVGxh87xbj/OUFlAUyG0x6vNh4Skiimp70CcrpN6iHcg==";
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
      {"no keys: even a bad signature", "", 清单1, "garbage", 结果::未要求},
      {"trusted key", 钥A, 清单1, A签清单1, 结果::已通过},
      {"missing signature", 钥A, 清单1, "", 结果::缺少签名},
      {"unknown key", 钥B, 清单1, A签清单1, 结果::未通过},
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
}

// The public JSONTestSuite corpus through the strict parse: every n_ file is a syntax
// error, every y_ file parses unless it meets one of the strictness rules (listed below
// with the message it must give), and i_ files may go either way but must not crash;
// those the strict rules single out are listed too.
const std::wstring 语法错误 = L"JSON 格式或 UTF-8 编码无效。";
const std::wstring 重复字段 = L"JSON 对象包含重复字段。";
const std::wstring 非整数 = L"JSON 只允许整数，不允许浮点数或超大整数。";

// File name without .json → the message the strict parse gives (empty: it parses). The y_
// files here are valid JSON the strict parse refuses; the i_ files are those the strict
// rules decide.
const std::map<std::string, std::wstring> 指定结果 = [] {
  std::map<std::string, std::wstring> 表 = {
      {"y_object_duplicated_key", 重复字段}, {"y_object_duplicated_key_and_value", 重复字段},
      {"i_structure_500_nested_arrays", L"JSON 嵌套深度不能超过 32 层。"}, {"i_structure_UTF-8_BOM_empty_object", L""},
      // A number that overflows a double is an error the library raises while parsing.
      {"i_number_huge_exp", 语法错误}, {"i_string_UTF-16LE_with_BOM", 语法错误},
      {"i_string_invalid_utf-8", 语法错误}, {"i_string_lone_second_surrogate", 语法错误}};
  // y_number is [123e65], y_number_int_with_exp [20e1].
  for (const char* 名称 : {"y_number", "y_number_0e+1", "y_number_0e1", "y_number_double_close_to_zero",
                           "y_number_int_with_exp", "y_number_real_capital_e", "y_number_real_capital_e_neg_exp",
                           "y_number_real_capital_e_pos_exp", "y_number_real_exponent", "y_number_real_fraction_exponent",
                           "y_number_real_neg_exp", "y_number_real_pos_exponent", "y_number_simple_real",
                           "y_object_extreme_numbers", "y_structure_lonely_negative_real", "i_number_too_big_pos_int",
                           "i_number_too_big_neg_int", "i_number_real_underflow"}) 表[名称] = 非整数;
  return 表;
}();

TEST(Json语料, 每个文件的结果) {
  const std::filesystem::path 目录 =
      std::filesystem::path(TALLYBELL_TESTDATA_DIR) / "json-test-suite" / "test_parsing";
  std::size_t 文件数 = 0, 指定数 = 0;
  for (const auto& 项 : std::filesystem::directory_iterator(目录)) {
    if (!项.is_regular_file()) continue;
    ++文件数;
    const std::string 名称 = 项.path().filename().string();
    Json值 值 = Json值::字符串("untouched");
    std::wstring 错误 = L"stale";
    const bool 成功 = Json值::解析(测试::读测试文件(项.path()), &值, &错误);
    if (成功) {
      EXPECT_TRUE(错误.empty()) << 名称;
    } else {
      EXPECT_TRUE(值.是字符串() && 值.文本() == "untouched") << 名称;
      EXPECT_TRUE(错误 == 语法错误 || 错误 == 重复字段 || 错误 == 非整数 || 错误 == L"JSON 嵌套深度不能超过 32 层。")
          << 名称;
    }
    const auto 规则 = 指定结果.find(项.path().stem().string());
    if (规则 != 指定结果.end()) {
      ++指定数;
      EXPECT_EQ(错误, 规则->second) << 名称;
    } else if (名称[0] == 'n') {
      EXPECT_EQ(错误, 语法错误) << 名称;
    } else if (名称[0] == 'y') {
      EXPECT_TRUE(成功) << 名称;
    }
  }
  EXPECT_GT(文件数, 300u);
  EXPECT_EQ(指定数, 指定结果.size());  // every entry names a file that exists
}

}  // namespace
}  // namespace tallybell
