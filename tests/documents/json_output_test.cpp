#include "documents/json_output.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include <nlohmann/json.hpp>

namespace tallybell {
namespace {

std::string 输出(const Json值& 值) {
  std::string 文本 = "stale";
  EXPECT_TRUE(序列化JSON(值, &文本));
  return 文本;
}

TEST(JSON输出, 成员按字节升序紧凑且原样UTF8) {
  Json值 对象;
  对象.设置成员("b", Json值::无符号整数(1));
  对象.设置成员("a", Json值::字符串("\xE4\xB8\xAD"));  // 中
  EXPECT_EQ(输出(对象), "{\"a\":\"\xE4\xB8\xAD\",\"b\":1}");

  nlohmann::json 库对象;
  库对象["b"] = 1;
  库对象["a"] = "\xE4\xB8\xAD";
  std::string 文本;
  ASSERT_TRUE(序列化JSON(库对象, &文本));
  EXPECT_EQ(文本, "{\"a\":\"\xE4\xB8\xAD\",\"b\":1}");
}

TEST(JSON输出, 各种类型与嵌套) {
  Json值 数组 = Json值::数组();
  数组.追加元素(Json值());
  数组.追加元素(Json值::布尔(true));
  数组.追加元素(Json值::布尔(false));
  数组.追加元素(Json值::有符号整数(std::numeric_limits<std::int64_t>::min()));
  数组.追加元素(Json值::有符号整数(0));
  数组.追加元素(Json值::无符号整数(std::numeric_limits<std::uint64_t>::max()));
  数组.追加元素(Json值::对象());
  数组.追加元素(Json值::数组());
  Json值 根;
  根.设置成员("z", 数组);
  根.设置成员("B", Json值::字符串(""));
  根.设置成员("\xC3\xA9", Json值::对象());
  EXPECT_EQ(输出(根),
            "{\"B\":\"\",\"z\":[null,true,false,-9223372036854775808,0,"
            "18446744073709551615,{},[]],\"\xC3\xA9\":{}}");
}

TEST(JSON输出, 只转义JSON要求的字符) {
  std::string 全部控制字符;
  for (int 字节 = 0; 字节 < 0x20; ++字节) 全部控制字符.push_back(static_cast<char>(字节));
  const std::string 期望控制字符 =
      "\\u0000\\u0001\\u0002\\u0003\\u0004\\u0005\\u0006\\u0007\\b\\t\\n\\u000b\\f\\r"
      "\\u000e\\u000f\\u0010\\u0011\\u0012\\u0013\\u0014\\u0015\\u0016\\u0017\\u0018\\u0019"
      "\\u001a\\u001b\\u001c\\u001d\\u001e\\u001f";
  EXPECT_EQ(输出(Json值::字符串(全部控制字符)), "\"" + 期望控制字符 + "\"");
  EXPECT_EQ(输出(Json值::字符串("\"\\/\x7F'<>&\xF0\x9F\x98\x80 ")),
            "\"\\\"\\\\/\x7F'<>&\xF0\x9F\x98\x80 \"");

  Json值 名称需转义;
  名称需转义.设置成员("a\"b\n", Json值());
  EXPECT_EQ(输出(名称需转义), "{\"a\\\"b\\n\":null}");
}

TEST(JSON输出, 无效UTF8使输出失败) {
  for (const std::string& 坏文本 :
       {std::string("\xFF"), std::string("a\xC3"), std::string("\xED\xA0\x80"),
        std::string("\xC0\xAF")}) {
    std::string 文本 = "stale";
    EXPECT_FALSE(序列化JSON(Json值::字符串(坏文本), &文本));
    EXPECT_EQ(文本, "");
    Json值 坏名称;
    坏名称.设置成员(坏文本, Json值());
    EXPECT_FALSE(序列化JSON(坏名称, &文本));
    Json值 深处;
    Json值 数组 = Json值::数组();
    数组.追加元素(Json值::字符串(坏文本));
    深处.设置成员("ok", 数组);
    EXPECT_FALSE(序列化JSON(深处, &文本));
  }
  EXPECT_FALSE(序列化JSON(Json值(), nullptr));
}

TEST(JSON输出, 解析后再输出得到规范文本) {
  Json值 值;
  ASSERT_TRUE(Json值::解析(
      "\xEF\xBB\xBF { \"b\" : [ 1 , -0 , -2 ] ,\n \"a\" : \"\\u00e9\\/\\u001F\" } ", &值));
  EXPECT_EQ(输出(值), "{\"a\":\"\xC3\xA9/\\u001f\",\"b\":[1,0,-2]}");

  nlohmann::json 库值;
  ASSERT_TRUE(转为Json库值(值, &库值));
  EXPECT_TRUE(库值["b"][0].is_number_unsigned());
  EXPECT_TRUE(库值["b"][1].is_number_integer() && !库值["b"][1].is_number_unsigned());
}

}  // namespace
}  // namespace tallybell
