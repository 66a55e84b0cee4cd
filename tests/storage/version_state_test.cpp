// The version 2 document of the local version state: canonical output, checksum, parse
// rules, preserved members and the generation rule.
#include "storage/version_state.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cctype>
#include <functional>
#include <string>
#include <vector>

#include "documents/sha256.h"
#include "storage/version_state_test_support.h"

namespace tallybell {
namespace {

using 测试::完整记录;
using 测试::改写文档;
using 测试::期望记录相同;

std::string 文本摘要(const std::string& 文本) {
  unsigned char 摘要[SHA256字节数];
  EXPECT_TRUE(计算数据SHA256(文本.data(), 文本.size(), 摘要));
  return 转小写十六进制(摘要);
}

// The full canonical text: the checksum member goes right after "attemptingRelease".
std::string 加入校验和(const std::string& 无校验和文本) {
  const std::string 锚点 = "\"confirmedHistory\":";
  std::string 文本 = 无校验和文本;
  文本.insert(文本.find(锚点), "\"checksum\":\"" + 文本摘要(无校验和文本) + "\",");
  return 文本;
}

bool 可解析(const std::string& 文本) {
  本地版本状态 状态;
  return 解析本地版本状态(文本, &状态);
}

TEST(本地版本状态格式, 默认记录的规范文本) {
  const std::string 无校验和 =
      R"({"activeRelease":"","attemptingRelease":"","confirmedHistory":[],"formatVersion":2,)"
      R"("generation":1,"lastGoodRelease":"","legacyInstallPath":"","nextCheckAt":"",)"
      R"("pendingRelease":"","policyContentId":"","policyVersion":0,"quarantined":[],)"
      R"("rescueRelease":"","updateFailureCount":0})";
  const std::string 文本 = 序列化本地版本状态(本地版本状态{});
  EXPECT_EQ(文本, 加入校验和(无校验和));

  本地版本状态 解析结果 = 完整记录();
  ASSERT_TRUE(解析本地版本状态(文本, &解析结果));
  本地版本状态 期望;
  期望.generation = 1;  // a record generation of 0 is written as 1
  期望.preservedFields = "{}";
  期望记录相同(解析结果, 期望);
}

TEST(本地版本状态格式, 转义与成员次序逐字节一致) {
  本地版本状态 状态;
  状态.activeRelease = L"a\"b\\c/d";
  状态.attemptingRelease = L"\u00e9\u4e2d";
  状态.lastGoodRelease = L"\b\t\n\f\r\x01\x1f\x7f";
  状态.confirmedHistory = {L"x", L""};
  状态.policyVersion = 18446744073709551615u;
  状态.policyContentId = "id\x01";
  状态.nextCheckAt = "2024-01-02T03:04:05Z";
  状态.updateFailureCount = 2;
  状态.preservedFields = R"({"zeta":[1,-2,{"b":null,"a":true}],"Note":"x"})";

  const std::string 无校验和 =
      R"({"Note":"x","activeRelease":"a\"b\\c/d","attemptingRelease":")"
      "\xC3\xA9\xE4\xB8\xAD"
      R"(","confirmedHistory":["x",""],"formatVersion":2,"generation":1,)"
      R"("lastGoodRelease":"\b\t\n\f\r\u0001\u001f)"
      "\x7F"
      R"(","legacyInstallPath":"","nextCheckAt":"2024-01-02T03:04:05Z","pendingRelease":"",)"
      R"("policyContentId":"id\u0001","policyVersion":18446744073709551615,"quarantined":[],)"
      R"("rescueRelease":"","updateFailureCount":2,"zeta":[1,-2,{"a":true,"b":null}]})";
  const std::string 文本 = 序列化本地版本状态(状态);
  EXPECT_EQ(文本, 加入校验和(无校验和));

  本地版本状态 解析结果;
  ASSERT_TRUE(解析本地版本状态(文本, &解析结果));
  状态.generation = 1;
  状态.preservedFields = R"({"Note":"x","zeta":[1,-2,{"a":true,"b":null}]})";
  期望记录相同(解析结果, 状态);
  EXPECT_EQ(序列化本地版本状态(解析结果), 文本);
}

TEST(本地版本状态格式, 往返保持每个字段) {
  const 本地版本状态 原记录 = 完整记录(18446744073709551615u);
  本地版本状态 解析结果;
  ASSERT_TRUE(解析本地版本状态(序列化本地版本状态(原记录), &解析结果));
  期望记录相同(解析结果, 原记录);
}

// Whitespace, member order and escaping choices do not matter: the checksum covers the
// canonical re-serialisation, not the file's bytes.
TEST(本地版本状态格式, 美化排版的文件通过校验) {
  const std::string 规范文本 = 序列化本地版本状态(完整记录());
  const nlohmann::json 文档 = nlohmann::json::parse(规范文本);
  std::vector<std::string> 成员;
  for (auto 位置 = 文档.begin(); 位置 != 文档.end(); ++位置) {
    成员.push_back("    " + nlohmann::json(位置.key()).dump() + " : " +
                   位置.value().dump(4, ' ', /*ensure_ascii=*/true));
  }
  std::string 美化 = "{\r\n";
  for (auto 位置 = 成员.rbegin(); 位置 != 成员.rend(); ++位置) {
    美化 += *位置 + (位置 + 1 == 成员.rend() ? "\n" : ",\n");
  }
  美化 += "}\n";
  ASSERT_NE(美化, 规范文本);
  ASSERT_NE(美化.find("\\u65e7"), std::string::npos);  // non-ASCII written as escapes

  本地版本状态 解析结果;
  ASSERT_TRUE(解析本地版本状态(美化, &解析结果));
  期望记录相同(解析结果, 完整记录());
  EXPECT_TRUE(可解析("\xEF\xBB\xBF" + 规范文本));
}

TEST(本地版本状态格式, 不可用的文档) {
  const std::string 规范文本 = 序列化本地版本状态(完整记录());
  ASSERT_TRUE(可解析(规范文本));
  const auto 替换 = [&](const std::string& 旧, const std::string& 新) {
    std::string 文本 = 规范文本;
    const auto 位置 = 文本.find(旧);
    EXPECT_NE(位置, std::string::npos) << 旧;
    return 文本.replace(位置, 旧.size(), 新);
  };
  const std::string 校验和 = nlohmann::json::parse(规范文本)["checksum"].get<std::string>();
  std::string 大写校验和 = 校验和;
  for (char& 字符 : 大写校验和) 字符 = static_cast<char>(std::toupper(static_cast<unsigned char>(字符)));
  ASSERT_NE(大写校验和, 校验和);

  struct 用例 {
    const char* 说明;
    std::string 文本;
  };
  const 用例 用例表[] = {
      {"member value changed", 替换(R"("activeRelease":"1.0.0")", R"("activeRelease":"1.0.9")")},
      {"member added", 替换(R"("note":"hello")", R"("note":"hello","extra":1)")},
      {"preserved value changed", 替换(R"("note":"hello")", R"("note":"hellO")")},
      {"checksum in upper case", 替换(校验和, 大写校验和)},
      {"checksum of 63 characters", 替换(校验和, 校验和.substr(1))},
      {"checksum of 65 characters", 替换(校验和, 校验和 + "0")},
      {"formatVersion 2.0", 替换(R"("formatVersion":2)", R"("formatVersion":2.0)")},
      {"repeated key", 替换(R"("note":"hello")", R"("note":"hello","note":"hello")")},
      {"not JSON", "state"},
      {"empty text", ""},
      {"array root", "[" + 规范文本 + "]"},
      {"trailing content", 规范文本 + "{}"},
      {"version 1 prefix with CRLF", "stateVersion=1\r\nactiveRelease=a\n"},
      {"version 1 prefix without line feed", "stateVersion=1"},
      {"nested 33 deep",
       改写文档([](Json值& 文档) {
         Json值 深 = Json值::数组();
         for (int 层 = 0; 层 < 32; ++层) {
           Json值 外 = Json值::数组();
           外.追加元素(std::move(深));
           深 = std::move(外);
         }
         文档.设置成员("deep", std::move(深));
       }, true)},
  };
  for (const 用例& 例 : 用例表) EXPECT_FALSE(可解析(例.文本)) << 例.说明;
}

TEST(本地版本状态格式, 成员规则) {
  using 修改函数 = std::function<void(Json值&)>;
  const auto 设为 = [](const char* 键, Json值 值) -> 修改函数 {
    return [键, 值](Json值& 文档) { 文档.设置成员(键, 值); };
  };
  const auto 移除 = [](const char* 键) -> 修改函数 {
    return [键](Json值& 文档) { 文档.移除成员(键); };
  };
  Json值 含非字符串的列表 = Json值::数组();
  含非字符串的列表.追加元素(Json值::字符串("a"));
  含非字符串的列表.追加元素(Json值::无符号整数(1));

  struct 用例 {
    const char* 说明;
    修改函数 修改;
  };
  std::vector<用例> 不可用 = {
      {"generation 0", 设为("generation", Json值::无符号整数(0))},
      {"generation -0", 设为("generation", Json值::有符号整数(0))},
      {"generation -1", 设为("generation", Json值::有符号整数(-1))},
      {"generation as text", 设为("generation", Json值::字符串("7"))},
      {"formatVersion 1", 设为("formatVersion", Json值::无符号整数(1))},
      {"formatVersion 3", 设为("formatVersion", Json值::无符号整数(3))},
      {"formatVersion as text", 设为("formatVersion", Json值::字符串("2"))},
      {"policyVersion -1", 设为("policyVersion", Json值::有符号整数(-1))},
      {"policyVersion null", 设为("policyVersion", Json值())},
      {"updateFailureCount -1", 设为("updateFailureCount", Json值::有符号整数(-1))},
      {"updateFailureCount true", 设为("updateFailureCount", Json值::布尔(true))},
      {"release with NUL", 设为("pendingRelease", Json值::字符串(std::string("a\0b", 3)))},
      {"release as number", 设为("rescueRelease", Json值::无符号整数(1))},
      {"release null", 设为("activeRelease", Json值())},
      {"list as string", 设为("quarantined", Json值::字符串("a"))},
      {"list with a number", 设为("confirmedHistory", 含非字符串的列表)},
      {"policyContentId with NUL", 设为("policyContentId", Json值::字符串(std::string("\0", 1)))},
      {"nextCheckAt as number", 设为("nextCheckAt", Json值::无符号整数(0))},
  };
  for (const char* 键 :
       {"formatVersion", "generation", "policyVersion", "activeRelease", "lastGoodRelease",
        "pendingRelease", "attemptingRelease", "rescueRelease", "legacyInstallPath",
        "confirmedHistory", "quarantined", "policyContentId", "nextCheckAt"}) {
    不可用.push_back({键, 移除(键)});
  }
  for (const 用例& 例 : 不可用) {
    EXPECT_FALSE(可解析(改写文档(例.修改, /*重算校验和=*/true))) << 例.说明;
  }
  // The checksum member itself is required; without it nothing can be verified.
  EXPECT_FALSE(可解析(改写文档(移除("checksum"), false)));
  EXPECT_FALSE(可解析(改写文档(设为("checksum", Json值::无符号整数(0)), false)));
  EXPECT_FALSE(可解析(改写文档(设为("checksum", Json值::字符串(std::string(64, '\0'))), false)));

  本地版本状态 状态;
  ASSERT_TRUE(解析本地版本状态(改写文档(移除("updateFailureCount"), true), &状态));
  EXPECT_EQ(状态.updateFailureCount, 0u);
  ASSERT_TRUE(解析本地版本状态(改写文档(设为("policyVersion", Json值::有符号整数(0)), true), &状态));
  EXPECT_EQ(状态.policyVersion, 0u);
  ASSERT_TRUE(解析本地版本状态(
      改写文档(设为("confirmedHistory", Json值::数组()), true), &状态));
  EXPECT_TRUE(状态.confirmedHistory.empty());
  // Zero bytes are refused in the scalar strings only.
  Json值 含NUL的列表 = Json值::数组();
  含NUL的列表.追加元素(Json值::字符串(std::string("a\0", 2)));
  ASSERT_TRUE(解析本地版本状态(改写文档(设为("quarantined", 含NUL的列表), true), &状态));
  EXPECT_EQ(状态.quarantined, std::vector<std::wstring>{std::wstring(L"a\0", 2)});
}

TEST(本地版本状态格式, 保留成员) {
  const std::string 文本 = 改写文档(
      [](Json值& 文档) {
        文档.移除成员("note");
        文档.设置成员("note", Json值::字符串("keep me"));
        Json值 恢复 = Json值::对象();
        恢复.设置成员("1.0.1", Json值::字符串("fp"));
        文档.设置成员("quarantineRecoveryFingerprints", 恢复);
      },
      true);
  本地版本状态 状态;
  ASSERT_TRUE(解析本地版本状态(文本, &状态));
  EXPECT_EQ(状态.preservedFields,
            R"({"note":"keep me","quarantineRecoveryFingerprints":{"1.0.1":"fp"}})");

  // Saved again with a new generation, the member is still there and covered by the new
  // checksum.
  ASSERT_TRUE(递增代次(&状态));
  const std::string 新文本 = 序列化本地版本状态(状态);
  本地版本状态 再解析;
  ASSERT_TRUE(解析本地版本状态(新文本, &再解析));
  EXPECT_EQ(再解析.preservedFields, 状态.preservedFields);
  EXPECT_EQ(再解析.generation, 8u);
  std::string 改动 = 新文本;
  改动.replace(改动.find("keep me"), 7, "keep it");
  EXPECT_FALSE(可解析(改动));

  // Known keys inside preservedFields never override the record.
  本地版本状态 带已知键 = 完整记录();
  带已知键.preservedFields =
      R"({"checksum":"x","generation":99,"activeRelease":"evil","formatVersion":1,"z":0})";
  本地版本状态 结果;
  ASSERT_TRUE(解析本地版本状态(序列化本地版本状态(带已知键), &结果));
  EXPECT_EQ(结果.generation, 7u);
  EXPECT_EQ(结果.activeRelease, L"1.0.0");
  EXPECT_EQ(结果.preservedFields, R"({"z":0})");

  本地版本状态 无保留 = 完整记录();
  for (const char* 保留 : {"{}", ""}) {
    无保留.preservedFields = 保留;
    ASSERT_TRUE(解析本地版本状态(序列化本地版本状态(无保留), &结果));
    EXPECT_EQ(结果.preservedFields, "{}");
  }
}

TEST(本地版本状态格式, 无法序列化的记录) {
  const std::wstring 孤立代理(1, static_cast<wchar_t>(0xDC00));
  std::vector<本地版本状态> 用例;
  for (const char* 保留 : {"not json", "[1]", "\"text\"", R"({"a":1.5})", R"({"a":1,"a":2})", "{"}) {
    本地版本状态 状态 = 完整记录();
    状态.preservedFields = 保留;
    用例.push_back(状态);
  }
  for (auto 字段 : {&本地版本状态::activeRelease, &本地版本状态::lastGoodRelease,
                    &本地版本状态::pendingRelease, &本地版本状态::attemptingRelease,
                    &本地版本状态::rescueRelease, &本地版本状态::legacyInstallPath}) {
    本地版本状态 状态 = 完整记录();
    状态.*字段 = L"1.0" + 孤立代理;
    用例.push_back(状态);
  }
  本地版本状态 列表中代理 = 完整记录();
  列表中代理.quarantined.push_back(孤立代理);
  用例.push_back(列表中代理);
  本地版本状态 历史中代理 = 完整记录();
  历史中代理.confirmedHistory.push_back(孤立代理);
  用例.push_back(历史中代理);
  本地版本状态 无效UTF8 = 完整记录();
  无效UTF8.nextCheckAt = "\xFF";
  用例.push_back(无效UTF8);

  for (std::size_t i = 0; i < 用例.size(); ++i) {
    EXPECT_EQ(序列化本地版本状态(用例[i]), "") << "case " << i;
  }
}

TEST(本地版本状态格式, 校验和计算) {
  Json值 文档;
  ASSERT_TRUE(Json值::解析(R"({"b":1,"checksum":"ignored","a":"x"})", &文档));
  std::string 校验和;
  ASSERT_TRUE(计算本地版本状态校验和(文档, &校验和));
  EXPECT_EQ(校验和, 文本摘要(R"({"a":"x","b":1})"));
  EXPECT_FALSE(计算本地版本状态校验和(Json值::数组(), &校验和));
  EXPECT_FALSE(计算本地版本状态校验和(文档, nullptr));
}

TEST(本地版本状态, 代次规则) {
  本地版本状态 状态;
  ASSERT_TRUE(递增代次(&状态));
  EXPECT_EQ(状态.generation, 1u);
  状态.generation = 最大代次 - 1;
  ASSERT_TRUE(递增代次(&状态));
  EXPECT_EQ(状态.generation, 18446744073709551615u);
  EXPECT_FALSE(递增代次(&状态));
  EXPECT_EQ(状态.generation, 18446744073709551615u);
  EXPECT_FALSE(递增代次(nullptr));
  // The last generation can still be written and read.
  本地版本状态 读回;
  ASSERT_TRUE(解析本地版本状态(序列化本地版本状态(状态), &读回));
  EXPECT_EQ(读回.generation, 最大代次);
}

TEST(本地版本状态, 已隔离) {
  本地版本状态 状态;
  EXPECT_FALSE(已隔离(状态, L""));
  状态.quarantined = {L"1.0.1", L"Beta"};
  EXPECT_TRUE(已隔离(状态, L"1.0.1"));
  EXPECT_TRUE(已隔离(状态, L"Beta"));
  for (const wchar_t* 标识 : {L"beta", L"1.0", L"1.0.1 ", L"1.0.10", L""}) {
    EXPECT_FALSE(已隔离(状态, 标识)) << 标识;
  }
}

}  // namespace
}  // namespace tallybell
