#include "download/checkpoint.h"

#include <gtest/gtest.h>

#include "support/file_helpers.h"
#include "support/temp_dir.h"

namespace tallybell {
namespace {

using namespace 测试;

下载断点状态 示例断点() {
  下载断点状态 断点;
  断点.downloaded = 5;
  断点.hash = "ab";
  断点.lastError = "连接被重置。";
  断点.retryCount = 2;
  断点.targetSize = 9;
  断点.urlIndex = 1;
  return 断点;
}

TEST(下载断点状态文件, 紧凑有序写出并保留上一版本为备份) {
  std::string 文本 = "stale";
  ASSERT_TRUE(序列化下载断点状态(示例断点(), &文本));
  EXPECT_EQ(文本,
            "{\"downloaded\":5,\"hash\":\"ab\",\"lastError\":\"连接被重置。\",\"retryCount\":2,"
            "\"targetSize\":9,\"urlIndex\":1}");

  下载断点状态 坏文本 = 示例断点();
  坏文本.lastError = "\xff";
  EXPECT_FALSE(序列化下载断点状态(坏文本, &文本));

  测试临时目录 目录;
  const std::wstring 路径 = 目录.宽路径("x.part.json");
  const std::wstring 备份 = 目录.宽路径("x.part.json.bak");
  ASSERT_TRUE(写入下载断点状态(路径, 备份, 示例断点()));
  下载断点状态 第二版 = 示例断点();
  第二版.downloaded = 7;
  ASSERT_TRUE(写入下载断点状态(路径, 备份, 第二版));
  下载断点状态 读回;
  ASSERT_TRUE(读取下载断点状态(路径, &读回));
  EXPECT_EQ(读回.downloaded, 7u);
  EXPECT_EQ(读回.lastError, "连接被重置。");
  ASSERT_TRUE(读取下载断点状态(备份, &读回));
  EXPECT_EQ(读回.downloaded, 5u);
  EXPECT_EQ(目录内容(目录.路径()), (std::vector<std::string>{"x.part.json", "x.part.json.bak"}));
}

TEST(下载断点状态文件, 读取时缺键类型错误负数与坏文档均无效) {
  测试临时目录 目录;
  const std::wstring 路径 = 目录.宽路径("c.part.json");
  const std::string 完整 =
      R"({"downloaded":3,"extra":[1],"hash":"h","lastError":"","retryCount":0,"targetSize":4,"urlIndex":2})";
  写测试文件(目录.子路径("c.part.json"), 完整);
  下载断点状态 断点;
  ASSERT_TRUE(读取下载断点状态(路径, &断点));
  EXPECT_EQ(断点.downloaded, 3u);
  EXPECT_EQ(断点.hash, "h");
  EXPECT_EQ(断点.targetSize, 4u);
  EXPECT_EQ(断点.urlIndex, 2u);

  const char* const 无效[] = {
      R"({"hash":"h","lastError":"","retryCount":0,"targetSize":4,"urlIndex":2})",
      R"({"downloaded":3,"lastError":"","retryCount":0,"targetSize":4,"urlIndex":2})",
      R"({"downloaded":3,"hash":"h","retryCount":0,"targetSize":4,"urlIndex":2})",
      R"({"downloaded":3,"hash":"h","lastError":"","targetSize":4,"urlIndex":2})",
      R"({"downloaded":3,"hash":"h","lastError":"","retryCount":0,"urlIndex":2})",
      R"({"downloaded":3,"hash":"h","lastError":"","retryCount":0,"targetSize":4})",
      R"({"downloaded":-1,"hash":"h","lastError":"","retryCount":0,"targetSize":4,"urlIndex":2})",
      R"({"downloaded":3.5,"hash":"h","lastError":"","retryCount":0,"targetSize":4,"urlIndex":2})",
      R"({"downloaded":"3","hash":"h","lastError":"","retryCount":0,"targetSize":4,"urlIndex":2})",
      R"({"downloaded":3,"hash":null,"lastError":"","retryCount":0,"targetSize":4,"urlIndex":2})",
      R"({"downloaded":3,"hash":"h","lastError":7,"retryCount":0,"targetSize":4,"urlIndex":2})",
      R"({"downloaded":3,"downloaded":3,"hash":"h","lastError":"","retryCount":0,"targetSize":4,"urlIndex":2})",
      R"([{"downloaded":3}])",
      R"({"downloaded":3,)",
      "",
  };
  for (const char* 文本 : 无效) {
    写测试文件(目录.子路径("c.part.json"), 文本);
    下载断点状态 输出 = 示例断点();
    EXPECT_FALSE(读取下载断点状态(路径, &输出)) << 文本;
    EXPECT_EQ(输出.downloaded, 5u) << 文本;  // untouched
  }
  下载断点状态 输出;
  EXPECT_FALSE(读取下载断点状态(目录.宽路径("missing.part.json"), &输出));
}

}  // namespace
}  // namespace tallybell
