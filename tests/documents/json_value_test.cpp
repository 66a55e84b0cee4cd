#include "documents/json_value.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

namespace tallybell {
namespace {

const std::wstring 语法错误 = L"JSON 格式或 UTF-8 编码无效。";
const std::wstring 重复字段 = L"JSON 对象包含重复字段。";
const std::wstring 嵌套过深 = L"JSON 嵌套深度不能超过 32 层。";
const std::wstring 非整数 = L"JSON 只允许整数，不允许浮点数或超大整数。";

// The message of a failed parse, or "" when the text parses.
std::wstring 解析消息(const std::string& 文本) {
  Json值 值;
  std::wstring 错误 = L"stale";
  if (Json值::解析(文本, &值, &错误)) {
    EXPECT_EQ(错误, L"");
    return L"";
  }
  EXPECT_FALSE(错误.empty());
  return 错误;
}

Json值 必须解析(const std::string& 文本) {
  Json值 值;
  std::wstring 错误;
  EXPECT_TRUE(Json值::解析(文本, &值, &错误)) << 文本;
  return 值;
}

std::string 嵌套数组(int 层数) {
  return std::string(static_cast<std::size_t>(层数), '[') +
         std::string(static_cast<std::size_t>(层数), ']');
}

TEST(Json值解析, 空对象与顶层字面量) {
  const Json值 对象 = 必须解析("{}");
  EXPECT_EQ(对象.类型(), Json类型::对象);
  EXPECT_TRUE(对象.成员().empty());

  const Json值 真 = 必须解析("true");
  EXPECT_EQ(真.类型(), Json类型::布尔);
  EXPECT_TRUE(真.布尔值());
  EXPECT_EQ(必须解析(" null ").类型(), Json类型::空);
  EXPECT_EQ(必须解析("\"x\"").文本(), "x");
  EXPECT_EQ(必须解析("[]").类型(), Json类型::数组);
}

TEST(Json值解析, 整数分为有符号与无符号) {
  struct 用例 {
    const char* 文本;
    Json类型 类型;
    std::int64_t 有符号;
    std::uint64_t 无符号;
  };
  const 用例 用例表[] = {
      {"-0", Json类型::有符号整数, 0, 0},
      {"0", Json类型::无符号整数, 0, 0},
      {"5", Json类型::无符号整数, 0, 5},
      {"-5", Json类型::有符号整数, -5, 0},
      {"18446744073709551615", Json类型::无符号整数, 0, std::numeric_limits<std::uint64_t>::max()},
      {"-9223372036854775808", Json类型::有符号整数, std::numeric_limits<std::int64_t>::min(), 0},
      {"9223372036854775808", Json类型::无符号整数, 0, 9223372036854775808u},
  };
  for (const 用例& 例 : 用例表) {
    const Json值 值 = 必须解析(例.文本);
    EXPECT_EQ(值.类型(), 例.类型) << 例.文本;
    if (例.类型 == Json类型::有符号整数) {
      EXPECT_EQ(值.有符号值(), 例.有符号) << 例.文本;
    } else {
      EXPECT_EQ(值.无符号值(), 例.无符号) << 例.文本;
    }
  }
}

TEST(Json值解析, 浮点数与超范围整数给出数字消息) {
  for (const char* 文本 :
       {"18446744073709551616", "-9223372036854775809", "1.0", "1e0", "0.5", "[1,2,0.5]",
        "{\"a\":{\"b\":[1e0]}}", "-0.0", "100000000000000000000000000000"}) {
    EXPECT_EQ(解析消息(文本), 非整数) << 文本;
  }
}

TEST(Json值解析, 重复名称) {
  EXPECT_EQ(解析消息("{\"a\":1,\"a\":2}"), 重复字段);
  EXPECT_EQ(解析消息("{\"a\":1,\"\\u0061\":2}"), 重复字段);
  EXPECT_EQ(解析消息("[{\"x\":{\"a\":1,\"b\":2,\"a\":3}}]"), 重复字段);
  // Names are scoped to their own object.
  EXPECT_EQ(解析消息("[{\"a\":1},{\"a\":2}]"), L"");
  EXPECT_EQ(解析消息("{\"a\":{\"a\":{\"a\":1}},\"b\":{\"a\":2}}"), L"");
  // Byte-wise comparison after unescaping: these names differ.
  EXPECT_EQ(解析消息("{\"a\":1,\"A\":2,\"a\\u0000\":3}"), L"");
}

TEST(Json值解析, 嵌套深度) {
  EXPECT_EQ(解析消息(嵌套数组(32)), L"");
  EXPECT_EQ(解析消息(嵌套数组(33)), 嵌套过深);
  EXPECT_EQ(解析消息(嵌套数组(5000)), 嵌套过深);

  // 32 levels alternating objects and arrays.
  std::string 混合;
  std::string 结尾;
  for (int 层 = 0; 层 < 32; ++层) {
    if (层 % 2 == 0) {
      混合 += "{\"k\":";
      结尾 = "}" + 结尾;
    } else {
      混合 += "[";
      结尾 = "]" + 结尾;
    }
  }
  EXPECT_EQ(解析消息(混合 + "1" + 结尾), L"");
  EXPECT_EQ(解析消息(混合 + "[]" + 结尾), 嵌套过深);
  // Depth is counted, not width: many siblings at level 32 are fine.
  EXPECT_EQ(解析消息("[" + 嵌套数组(31) + "," + 嵌套数组(31) + "]"), L"");
}

TEST(Json值解析, 规则的先后次序) {
  EXPECT_EQ(解析消息("{\"a\":1.5,\"a\":2}"), 重复字段);
  EXPECT_EQ(解析消息("{\"a\":1,\"a\":2"), 语法错误);
  EXPECT_EQ(解析消息("{\"a\":1,\"a\":2}x"), 语法错误);
  EXPECT_EQ(解析消息(std::string(20, '[') + "{\"a\":1,\"a\":1}," + 嵌套数组(20) + std::string(20, ']')),
            重复字段);
  EXPECT_EQ(解析消息("[" + 嵌套数组(40) + ",1.5]"), 嵌套过深);
  // A number beyond the range of a double is an error the library raises during the
  // parse, so it is reported like a syntax error, not by the number rule.
  EXPECT_EQ(解析消息("[1e400]"), 语法错误);
  EXPECT_EQ(解析消息("{\"a\":1,\"a\":-1e400}"), 语法错误);
}

TEST(Json值解析, 语法错误) {
  const std::string 用例表[] = {
      "1 2",
      "{} {}",
      "{}// comment",
      "{} /* comment */",
      "",
      "   ",
      std::string("[\"\xFF\"]"),
      std::string("\"a\0b\"", 5),
      std::string("123\0", 4),
      std::string("{}\0garbage", 10),
      std::string("[1]\0", 4),
      "[\"\t\"]",
      "[\"\\x\"]",
      "[\"\\ud800\"]",
      "[\"\\udc00\\ud800\"]",
      "\xEF\xBB\xBF",
      "\xEF\xBB{}",
      "{}\xEF\xBB\xBF",
      "[1,]",
      "{'a':1}",
      "NaN",
      "01",
      "+1",
  };
  for (const std::string& 文本 : 用例表) {
    EXPECT_EQ(解析消息(文本), 语法错误) << 文本;
  }
}

TEST(Json值解析, 字节顺序标记与转义) {
  EXPECT_TRUE(必须解析("\xEF\xBB\xBF{}").是对象());
  EXPECT_EQ(必须解析("\xEF\xBB\xBF 7").无符号值(), 7u);
  const Json值 文本 = 必须解析("\"a\\u0000b\\u00e9\\ud83d\\ude00\xE4\xB8\xAD\"");
  EXPECT_EQ(文本.文本(), std::string("a\0b\xC3\xA9\xF0\x9F\x98\x80\xE4\xB8\xAD", 12));
}

TEST(Json值解析, 成员按字节升序且数组保持顺序) {
  const Json值 值 = 必须解析("{\"b\":[3,1,2],\"\xC3\xA9\":null,\"a\":true,\"B\":false}");
  std::string 名称;
  for (const auto& [键, 成员] : 值.成员()) 名称 += 键 + ",";
  EXPECT_EQ(名称, "B,a,b,\xC3\xA9,");
  const auto& 元素 = 值.查找成员("b")->元素();
  ASSERT_EQ(元素.size(), 3u);
  EXPECT_EQ(元素[0].无符号值(), 3u);
  EXPECT_EQ(元素[1].无符号值(), 1u);
  EXPECT_EQ(元素[2].无符号值(), 2u);
}

TEST(Json值解析, 输出参数与错误消息) {
  std::wstring 错误;
  EXPECT_FALSE(Json值::解析("{}", nullptr, &错误));
  EXPECT_EQ(错误, L"JSON 输出参数不能为空。");
  EXPECT_FALSE(Json值::解析("{}", nullptr));

  // A failed parse leaves the output exactly as it was.
  Json值 输出 = 必须解析("{\"keep\":[1,\"x\"]}");
  for (const std::string& 坏文本 : {std::string("{"), std::string("{\"a\":1,\"a\":1}"),
                                  std::string("[1.5]"), 嵌套数组(33)}) {
    EXPECT_FALSE(Json值::解析(坏文本, &输出, &错误)) << 坏文本;
    ASSERT_NE(输出.查找成员("keep"), nullptr);
    EXPECT_EQ(输出.查找成员("keep")->元素().size(), 2u);
    EXPECT_EQ(输出.成员().size(), 1u);
  }
  // Success replaces the output and clears a stale message; no message pointer is fine.
  错误 = L"stale";
  EXPECT_TRUE(Json值::解析("[]", &输出, &错误));
  EXPECT_TRUE(输出.是数组());
  EXPECT_EQ(错误, L"");
  EXPECT_TRUE(Json值::解析("{}", &输出));
  EXPECT_FALSE(Json值::解析("{", &输出));
  EXPECT_TRUE(输出.是对象());
}

TEST(Json值, 查找成员) {
  const Json值 对象 = 必须解析("{\"a\":1,\"ab\":\"x\"}");
  ASSERT_NE(对象.查找成员("a"), nullptr);
  EXPECT_EQ(对象.查找成员("a")->无符号值(), 1u);
  EXPECT_EQ(对象.查找成员("ab")->文本(), "x");
  EXPECT_EQ(对象.查找成员("A"), nullptr);
  EXPECT_EQ(对象.查找成员("b"), nullptr);
  EXPECT_EQ(对象.查找成员(nullptr), nullptr);
  EXPECT_EQ(对象.成员().size(), 2u);  // lookups never create members
  EXPECT_EQ(必须解析("[{\"a\":1}]").查找成员("a"), nullptr);
  EXPECT_EQ(必须解析("\"a\"").查找成员("a"), nullptr);
  EXPECT_EQ(Json值().查找成员("a"), nullptr);
}

TEST(Json值, 复制复制整棵树) {
  Json值 原值 = 必须解析("{\"a\":{\"b\":[1]}}");
  Json值 副本 = 原值;
  原值.设置成员("a", Json值::字符串("changed"));
  EXPECT_TRUE(副本.查找成员("a")->是对象());
  EXPECT_EQ(副本.查找成员("a")->查找成员("b")->元素()[0].无符号值(), 1u);
}

TEST(读取非空字符串字段, 成功与各种失败) {
  const Json值 对象 = 必须解析(
      "{\"ok\":\"v\",\"empty\":\"\",\"nul\":\"a\\u0000b\",\"num\":5,\"arr\":[\"x\"]}");
  std::string 输出;
  std::wstring 错误 = L"stale";
  EXPECT_TRUE(读取非空字符串字段(对象, "ok", &输出, &错误));
  EXPECT_EQ(输出, "v");
  EXPECT_EQ(错误, L"");

  for (const char* 键 : {"empty", "nul", "num", "arr", "missing"}) {
    错误.clear();
    EXPECT_FALSE(读取非空字符串字段(对象, 键, &输出, &错误)) << 键;
    EXPECT_EQ(错误, L"字段缺失或不是非空字符串：" + std::wstring(键, 键 + std::char_traits<char>::length(键)));
  }
  EXPECT_FALSE(读取非空字符串字段(对象, "ok", nullptr, &错误));
  EXPECT_EQ(错误, L"字段缺失或不是非空字符串：ok");
  EXPECT_FALSE(读取非空字符串字段(必须解析("[\"ok\"]"), "ok", &输出, nullptr));
}

TEST(读取非负整数, 两种整数类型) {
  const Json值 对象 = 必须解析(
      "{\"u\":7,\"max\":18446744073709551615,\"s0\":-0,\"neg\":-1,\"str\":\"7\",\"b\":true}");
  std::uint64_t 值 = 99;
  EXPECT_TRUE(读取非负整数(对象.查找成员("u"), &值));
  EXPECT_EQ(值, 7u);
  EXPECT_TRUE(读取非负整数(对象.查找成员("max"), &值));
  EXPECT_EQ(值, std::numeric_limits<std::uint64_t>::max());
  EXPECT_TRUE(读取非负整数(对象.查找成员("s0"), &值));
  EXPECT_EQ(值, 0u);
  const Json值 正有符号 = Json值::有符号整数(12);
  EXPECT_TRUE(读取非负整数(&正有符号, &值));
  EXPECT_EQ(值, 12u);

  值 = 99;
  for (const char* 键 : {"neg", "str", "b", "missing"}) {
    EXPECT_FALSE(读取非负整数(对象.查找成员(键), &值)) << 键;
    EXPECT_EQ(值, 99u);
  }
}

}  // namespace
}  // namespace tallybell
