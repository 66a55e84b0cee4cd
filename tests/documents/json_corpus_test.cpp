// The public JSONTestSuite corpus through the strict parse: every n_ file is a syntax
// error, every y_ file parses unless it meets one of the strictness rules (listed below
// with the message it must give), and i_ files may go either way but must not crash.
#include "documents/json_value.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "support/file_helpers.h"

namespace tallybell {
namespace {

const std::wstring 语法错误 = L"JSON 格式或 UTF-8 编码无效。";
const std::wstring 重复字段 = L"JSON 对象包含重复字段。";
const std::wstring 非整数 = L"JSON 只允许整数，不允许浮点数或超大整数。";

// The y_ files that valid JSON allows but the strict parse does not.
const std::map<std::string, std::wstring>& 严格拒绝的y文件() {
  static const std::map<std::string, std::wstring> 表 = {
      {"y_object_duplicated_key.json", 重复字段},
      {"y_object_duplicated_key_and_value.json", 重复字段},
      {"y_number.json", 非整数},                       // [123e65]
      {"y_number_0e+1.json", 非整数},
      {"y_number_0e1.json", 非整数},
      {"y_number_double_close_to_zero.json", 非整数},
      {"y_number_int_with_exp.json", 非整数},          // [20e1]
      {"y_number_real_capital_e.json", 非整数},
      {"y_number_real_capital_e_neg_exp.json", 非整数},
      {"y_number_real_capital_e_pos_exp.json", 非整数},
      {"y_number_real_exponent.json", 非整数},
      {"y_number_real_fraction_exponent.json", 非整数},
      {"y_number_real_neg_exp.json", 非整数},
      {"y_number_real_pos_exponent.json", 非整数},
      {"y_number_simple_real.json", 非整数},
      {"y_object_extreme_numbers.json", 非整数},
      {"y_structure_lonely_negative_real.json", 非整数},
  };
  return 表;
}

struct 语料文件 {
  std::string 名称;
  std::string 内容;
};

std::vector<语料文件> 读取语料() {
  const std::filesystem::path 目录 =
      std::filesystem::path(TALLYBELL_TESTDATA_DIR) / "json-test-suite" / "test_parsing";
  std::vector<语料文件> 文件;
  for (const auto& 项 : std::filesystem::directory_iterator(目录)) {
    if (项.is_regular_file()) {
      文件.push_back({项.path().filename().string(), 测试::读测试文件(项.path())});
    }
  }
  std::sort(文件.begin(), 文件.end(),
            [](const 语料文件& 甲, const 语料文件& 乙) { return 甲.名称 < 乙.名称; });
  return 文件;
}

std::string 消息名(const std::wstring& 消息) {
  if (消息.empty()) return "accepted";
  if (消息 == 语法错误) return "syntax";
  if (消息 == 重复字段) return "duplicate";
  if (消息 == 非整数) return "number";
  if (消息 == L"JSON 嵌套深度不能超过 32 层。") return "depth";
  return "other";
}

TEST(Json语料, 每个文件的结果) {
  const std::vector<语料文件> 语料 = 读取语料();
  ASSERT_GT(语料.size(), 300u);

  std::map<std::string, int> 计数;
  std::vector<std::string> 见到的严格文件;
  for (const 语料文件& 文件 : 语料) {
    Json值 值 = Json值::字符串("untouched");
    std::wstring 错误 = L"stale";
    const bool 成功 = Json值::解析(文件.内容, &值, &错误);
    if (成功) {
      EXPECT_TRUE(错误.empty()) << 文件.名称;
    } else {
      EXPECT_TRUE(值.是字符串() && 值.文本() == "untouched") << 文件.名称;
    }
    const std::string 结果 = 消息名(成功 ? std::wstring() : 错误);
    EXPECT_NE(结果, "other") << 文件.名称;

    const char 类别 = 文件.名称[0];
    if (类别 == 'n') {
      EXPECT_EQ(错误, 语法错误) << 文件.名称;
    } else if (类别 == 'y') {
      const auto 规则 = 严格拒绝的y文件().find(文件.名称);
      if (规则 == 严格拒绝的y文件().end()) {
        EXPECT_TRUE(成功) << 文件.名称 << ": " << 结果;
      } else {
        见到的严格文件.push_back(文件.名称);
        EXPECT_FALSE(成功) << 文件.名称;
        EXPECT_EQ(错误, 规则->second) << 文件.名称;
      }
    }
    ++计数[std::string(1, 类别) + " " + 结果];
  }
  // Every entry of the table names a file that exists.
  EXPECT_EQ(见到的严格文件.size(), 严格拒绝的y文件().size());

  std::string 摘要 = "JSON corpus:";
  for (const auto& [键, 数] : 计数) {
    摘要 += " [" + 键 + "]=" + std::to_string(数);
    ::testing::Test::RecordProperty(键, 数);
  }
  std::cout << 摘要 << " (" << 语料.size() << " files)\n";
}

// The files the strict rules single out in the i_ group behave as the rules say.
TEST(Json语料, 实现自定的文件) {
  const std::vector<语料文件> 语料 = 读取语料();
  const std::map<std::string, std::wstring> 期望 = {
      {"i_structure_500_nested_arrays.json", L"JSON 嵌套深度不能超过 32 层。"},
      {"i_structure_UTF-8_BOM_empty_object.json", L""},
      {"i_number_too_big_pos_int.json", 非整数},
      {"i_number_too_big_neg_int.json", 非整数},
      // A number that overflows a double is an error the library raises while parsing.
      {"i_number_huge_exp.json", 语法错误},
      {"i_number_real_underflow.json", 非整数},
      {"i_string_UTF-16LE_with_BOM.json", 语法错误},
      {"i_string_invalid_utf-8.json", 语法错误},
      {"i_string_lone_second_surrogate.json", 语法错误},
  };
  int 找到 = 0;
  for (const 语料文件& 文件 : 语料) {
    const auto 项 = 期望.find(文件.名称);
    if (项 == 期望.end()) continue;
    ++找到;
    Json值 值;
    std::wstring 错误;
    Json值::解析(文件.内容, &值, &错误);
    EXPECT_EQ(错误, 项->second) << 文件.名称;
  }
  EXPECT_EQ(找到, static_cast<int>(期望.size()));
}

}  // namespace
}  // namespace tallybell
