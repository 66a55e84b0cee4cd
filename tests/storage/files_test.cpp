#include "storage/files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "common/text.h"
#include "support/fault_injection.h"
#include "support/file_helpers.h"
#include "support/temp_dir.h"

namespace tallybell {
namespace {

using 测试::读测试文件;
using 测试::写测试文件;
using 测试::目录内容;

class 文件原语 : public ::testing::Test {
 protected:
  测试::测试临时目录 目录_;
};

TEST_F(文件原语, 整读接受空文件和恰好上限的文件) {
  写测试文件(目录_.子路径("empty"), "");
  std::string 内容 = "stale";
  ASSERT_TRUE(读取整个文件(目录_.宽路径("empty"), &内容));
  EXPECT_TRUE(内容.empty());

  写测试文件(目录_.子路径("limit"), "");
  std::filesystem::resize_file(目录_.子路径("limit"), 整读上限字节);
  ASSERT_TRUE(读取整个文件(目录_.宽路径("limit"), &内容));
  EXPECT_EQ(内容.size(), 整读上限字节);

  std::filesystem::resize_file(目录_.子路径("limit"), 整读上限字节 + 1);
  EXPECT_FALSE(读取整个文件(目录_.宽路径("limit"), &内容));
}

TEST_F(文件原语, 整读拒绝缺失的文件和目录) {
  std::string 内容;
  EXPECT_FALSE(读取整个文件(目录_.宽路径("missing"), &内容));
  EXPECT_FALSE(读取整个文件(目录_.宽路径(), &内容));
}

TEST_F(文件原语, 整读跨越多个块) {
  std::string 大(3 * 1048576 + 17, '\0');
  for (std::size_t i = 0; i < 大.size(); ++i) 大[i] = static_cast<char>(i * 31 + 7);
  写测试文件(目录_.子路径("big"), 大);
  std::string 内容;
  ASSERT_TRUE(读取整个文件(目录_.宽路径("big"), &内容));
  EXPECT_EQ(内容, 大);
}

TEST_F(文件原语, 原子写入创建缺失的上级目录) {
  ASSERT_TRUE(原子写入文件(目录_.宽路径("a/b/c/doc.json"), "{}", L""));
  EXPECT_EQ(读测试文件(目录_.子路径("a/b/c/doc.json")), "{}");
  EXPECT_EQ(目录内容(目录_.子路径("a/b/c")), std::vector<std::string>{"doc.json"});
}

TEST_F(文件原语, 替换时旧内容成为备份) {
  const auto 目标 = 目录_.宽路径("state.txt");
  const auto 备份 = 目录_.宽路径("state.txt.bak");
  ASSERT_TRUE(原子写入文件(目标, "one", 备份));
  EXPECT_FALSE(std::filesystem::exists(目录_.子路径("state.txt.bak")));
  ASSERT_TRUE(原子写入文件(目标, "two", 备份));
  ASSERT_TRUE(原子写入文件(目标, "three", 备份));
  EXPECT_EQ(读测试文件(目录_.子路径("state.txt")), "three");
  EXPECT_EQ(读测试文件(目录_.子路径("state.txt.bak")), "two");
  EXPECT_EQ(目录内容(目录_.路径()), (std::vector<std::string>{"state.txt", "state.txt.bak"}));
}

TEST_F(文件原语, 无备份路径时直接替换) {
  const auto 目标 = 目录_.宽路径("doc");
  ASSERT_TRUE(原子写入文件(目标, "old", L""));
  ASSERT_TRUE(原子写入文件(目标, "new", L""));
  EXPECT_EQ(读测试文件(目录_.子路径("doc")), "new");
  EXPECT_EQ(目录内容(目录_.路径()), std::vector<std::string>{"doc"});
}

TEST_F(文件原语, 替换失败且备份已存在时目标保持旧内容) {
  const auto 目标 = 目录_.宽路径("doc");
  const auto 备份 = 目录_.宽路径("doc.bak");
  ASSERT_TRUE(原子写入文件(目标, "old", 备份));
  写测试文件(目录_.子路径("doc.bak"), "older");
  {
    测试::文件故障注入 注入("替换并备份");
    EXPECT_FALSE(原子写入文件(目标, "new", 备份));
    EXPECT_TRUE(注入.已注入());
  }
  EXPECT_EQ(读测试文件(目录_.子路径("doc")), "old");
  EXPECT_EQ(读测试文件(目录_.子路径("doc.bak")), "older");
  EXPECT_EQ(目录内容(目录_.路径()), (std::vector<std::string>{"doc", "doc.bak"}));
}

TEST_F(文件原语, 替换失败而备份不存在时经复制完成) {
  const auto 目标 = 目录_.宽路径("doc");
  const auto 备份 = 目录_.宽路径("doc.bak");
  ASSERT_TRUE(原子写入文件(目标, "old", L""));
  {
    测试::文件故障注入 注入("替换并备份");
    EXPECT_TRUE(原子写入文件(目标, "new", 备份));
  }
  EXPECT_EQ(读测试文件(目录_.子路径("doc")), "new");
  EXPECT_EQ(读测试文件(目录_.子路径("doc.bak")), "old");
}

TEST_F(文件原语, 目标是目录时写入失败且不留临时文件) {
  std::filesystem::create_directory(目录_.子路径("dir"));
  EXPECT_FALSE(原子写入文件(目录_.宽路径("dir"), "x", L""));
  EXPECT_EQ(目录内容(目录_.路径()), std::vector<std::string>{"dir"});
}

TEST_F(文件原语, 没有上级目录的目标被拒绝) {
  EXPECT_FALSE(原子写入文件(L"doc-without-parent", "x", L""));
}

TEST_F(文件原语, 临时文件名带进程线程计时和递增序号) {
  const std::wstring 第一 = 临时文件名(L"state.txt");
  const std::wstring 第二 = 临时文件名(L"state.txt");
  std::string 文本1, 文本2;
  ASSERT_TRUE(宽转UTF8(第一, &文本1));
  ASSERT_TRUE(宽转UTF8(第二, &文本2));
  const std::regex 形状(R"(state\.txt\.tmp-[1-9][0-9]*-[1-9][0-9]*-(0|[1-9][0-9]*)-(-?[1-9][0-9]*))");
  std::smatch 匹配1, 匹配2;
  ASSERT_TRUE(std::regex_match(文本1, 匹配1, 形状)) << 文本1;
  ASSERT_TRUE(std::regex_match(文本2, 匹配2, 形状)) << 文本2;
  EXPECT_EQ(std::stoll(匹配2[2]), std::stoll(匹配1[2]) + 1);
}

// Every single failing call of a replacement, in every way it can fail, leaves either the
// old or the new document in place, never a torn one, and no temporary file.
TEST_F(文件原语, 任一调用失败时目标完整且无残留) {
  const auto 目标 = 目录_.宽路径("state/doc");
  const auto 备份 = 目录_.宽路径("state/doc.bak");
  const std::string 旧(2 * 1048576 + 5, 'o');
  const std::string 新(2 * 1048576 + 9, 'n');
  std::uint64_t 总调用 = 0;
  {
    ASSERT_TRUE(原子写入文件(目标, 旧, 备份));
    测试::文件故障注入 计数;
    ASSERT_TRUE(原子写入文件(目标, 新, 备份));
    总调用 = 计数.调用次数();
  }
  ASSERT_GT(总调用, 5u);
  for (auto 类型 : {测试::故障类型::调用失败, 测试::故障类型::短写}) {
    for (std::uint64_t n = 1; n <= 总调用; ++n) {
      ASSERT_TRUE(原子写入文件(目标, 旧, 备份));
      bool 结果 = false;
      std::string 故障调用;
      {
        测试::文件故障注入 注入(n, 类型);
        结果 = 原子写入文件(目标, 新, 备份);
        故障调用 = 注入.故障调用();
      }
      const std::string 现在 = 读测试文件(目录_.子路径("state/doc"));
      EXPECT_TRUE(现在 == 旧 || 现在 == 新) << "n=" << n << " " << 故障调用;
      if (结果) {
        EXPECT_EQ(现在, 新) << "n=" << n << " " << 故障调用;
      }
      EXPECT_EQ(目录内容(目录_.子路径("state")), (std::vector<std::string>{"doc", "doc.bak"}))
          << "n=" << n << " " << 故障调用;
    }
  }
}

}  // namespace
}  // namespace tallybell
