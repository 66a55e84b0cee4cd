// The release and verify commands through the built tool, checked with the core's parser
// and object rules.
#include <gtest/gtest.h>

#include "documents/manifest.h"
#include "download/object_cache.h"
#include "publish/publish_test_support.h"

#include <algorithm>
#include "support/temp_dir.h"

namespace tallybell {
namespace {

namespace fs = std::filesystem;
using namespace 测试;

class 发布命令 : public ::testing::Test {
 protected:
  void SetUp() override { 写构建(构建(), 样例构建()); }
  fs::path 构建() const { return 目录_.子路径("build"); }
  fs::path 内容() const { return 目录_.子路径("content"); }
  fs::path 对象(const std::string& 数据) const { return 内容() / "objects" / (测试SHA256(数据) + ".object"); }
  发布清单 读清单(const std::string& 发布标识) const {
    发布清单 清单;
    std::wstring 错误;
    EXPECT_TRUE(解析发布清单(读测试文件(内容() / "releases" / 发布标识 / "manifest.json"), &清单, &错误))
        << std::string(错误.begin(), 错误.end());
    return 清单;
  }

  测试临时目录 目录_;
};

TEST_F(发布命令, 清单列出每个文件且每份内容只存一个对象) {
  const auto 结果 = 运行发布工具({"release", "--input", 路径文本(构建()), "--release-id", "r1", "--base-url",
                                  "https://a.example/c/", "--base-url", "https://b.example", "--out", 路径文本(内容())});
  ASSERT_EQ(结果.退出码, 0u) << 结果.输出;
  const std::string 清单文本 = 读测试文件(内容() / "releases/r1/manifest.json");
  EXPECT_EQ(取清单哈希行(结果.输出), 测试SHA256(清单文本));

  const 发布清单 清单 = 读清单("r1");
  EXPECT_EQ(清单.releaseId, "r1");
  std::vector<std::string> 路径;
  for (const auto& 文件 : 清单.files) 路径.push_back(文件.path);
  // Sorted by the bytes of the path, whatever order the directory listed them in.
  EXPECT_EQ(路径, (std::vector<std::string>{"Tallybell.exe", "bin/core-copy.dll", "bin/core.dll", "docs/读我.txt"}));
  for (const auto& [文件路径, 数据] : 样例构建()) {
    const auto 条目 = std::find_if(清单.files.begin(), 清单.files.end(), [&](const 发布文件& 项) { return 项.path == 文件路径; });
    ASSERT_NE(条目, 清单.files.end());
    EXPECT_EQ(条目->sha256, 测试SHA256(数据));
    EXPECT_EQ(条目->size, 数据.size());
    EXPECT_EQ(条目->downloadUrls, (std::vector<std::string>{"https://a.example/c/objects/" + 条目->sha256 + ".object",
                                                           "https://b.example/objects/" + 条目->sha256 + ".object"}));
    EXPECT_TRUE(缓存对象有效(对象(数据).wstring(), 条目->sha256, 条目->size)) << 文件路径;
  }
  EXPECT_EQ(目录内容(内容() / "objects").size(), 3u);  // the two equal libraries share one object
}

TEST_F(发布命令, 已有对象损坏时为5且不改动它也不写清单) {
  发布(构建(), "r1", 内容());
  const auto 损坏对象 = 对象("Tallybell sample executable\n");
  写测试文件(损坏对象, "Tallybell sample executablE\n");
  const auto 结果 = 运行发布工具({"release", "--input", 路径文本(构建()), "--release-id", "r2", "--base-url",
                                  "https://content.example/tallybell", "--out", 路径文本(内容())});
  EXPECT_EQ(结果.退出码, 5u) << 结果.输出;
  EXPECT_NE(结果.输出.find(测试SHA256("Tallybell sample executable\n") + ".object"), std::string::npos) << 结果.输出;
  EXPECT_EQ(读测试文件(损坏对象), "Tallybell sample executablE\n");
  EXPECT_FALSE(fs::exists(内容() / "releases/r2"));
}

TEST_F(发布命令, 校验发现翻转的字节和缺失的对象) {
  发布(构建(), "r1", 内容());
  const auto 完好 = 运行发布工具({"verify", "--content", 路径文本(内容())});
  EXPECT_EQ(完好.退出码, 0u) << 完好.输出;
  EXPECT_NE(完好.输出.find("release r1 manifest sha256 " + 测试SHA256(读测试文件(内容() / "releases/r1/manifest.json"))),
            std::string::npos)
      << 完好.输出;
  EXPECT_NE(完好.输出.find("verified 3 objects and 1 manifests: no problems"), std::string::npos) << 完好.输出;

  const auto 被改对象 = 对象(std::string(3000, 'c'));
  std::string 数据 = 读测试文件(被改对象);
  数据[1234] ^= 0x01;
  写测试文件(被改对象, 数据);
  fs::remove(对象("sample release notes\n"));
  const auto 损坏 = 运行发布工具({"verify", "--content", 路径文本(内容())});
  EXPECT_EQ(损坏.退出码, 5u) << 损坏.输出;
  EXPECT_NE(损坏.输出.find("对象内容与其名称不符：objects/" + 测试SHA256(std::string(3000, 'c')) + ".object"),
            std::string::npos)
      << 损坏.输出;
  // Both libraries lose their object, and the notes have none left.
  for (const char* 路径 : {"bin/core.dll", "bin/core-copy.dll", "docs/读我.txt"}) {
    EXPECT_NE(损坏.输出.find(std::string("releases/r1/manifest.json：") + 路径), std::string::npos) << 路径 << 损坏.输出;
  }
  EXPECT_NE(损坏.输出.find("4 problems"), std::string::npos) << 损坏.输出;
}

}  // namespace
}  // namespace tallybell
