// The public JSONTestSuite corpus through the strict parse: every n_ file is a syntax
// error, every y_ file parses unless it meets one of the strictness rules (listed below
// with the message it must give), and i_ files may go either way but must not crash;
// those the strict rules single out are listed too.
#include "documents/json_value.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "support/file_helpers.h"

namespace tallybell {
namespace {

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
