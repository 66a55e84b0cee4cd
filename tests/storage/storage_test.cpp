// Files and the local version state on disk: atomic writes with a backup, the record's
// format and checksum, and the choice between the main file and its backup.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "storage/files.h"
#include "storage/release_id.h"
#include "storage/version_state.h"
#include "support/fault_injection.h"
#include "support/file_helpers.h"
#include "support/temp_dir.h"

namespace tallybell {
namespace {

using namespace 测试;

// A record with every field set, as canonical text.
std::string 第几代(std::uint64_t 代次) {
  // In the order of the record; only attemptingRelease is empty.
  return 序列化本地版本状态({代次, L"1.0.0", L"0.9.0", L"1.1.0", L"", L"0.8.0", L"C:\\Program Files\\Tallybell\\\u65e7\u7248",
                             {L"0.8.0", L"0.9.0"}, {L"1.0.1"}, 42, "sha256:abc", "2024-05-01T12:00:00Z", 3,
                             "{\"note\":\"hello\"}"});
}

class 存储 : public ::testing::Test {
 protected:
  测试临时目录 目录_;
};

// Each call of an atomic write of several chunks, failed or cut short in turn, with and
// without a backup path: the target holds the old or the new content, never a mix, the
// backup the old content when there is one, and nothing else is left behind. (A state
// save is this write after a parse of the text.)
TEST_F(存储, 任一调用失败时目标完整且无残留) {
  const auto 目标 = 目录_.宽路径("state/doc");
  const std::string 旧(2 * 1048576 + 5, 'o');
  const std::string 新(2 * 1048576 + 9, 'n');
  for (const auto& 备份 : {目录_.宽路径("state/doc.bak"), std::wstring()}) {
    std::filesystem::remove_all(目录_.子路径("state"));
    const std::vector<std::string> 留下 = 备份.empty() ? std::vector<std::string>{"doc"} : std::vector<std::string>{"doc", "doc.bak"};
    std::uint64_t 总调用 = 0;
    {
      ASSERT_TRUE(原子写入文件(目标, 旧, 备份));
      文件故障注入 计数;
      ASSERT_TRUE(原子写入文件(目标, 新, 备份));
      总调用 = 计数.调用次数();
    }
    ASSERT_GT(总调用, 4u);
    for (auto 类型 : {故障类型::调用失败, 故障类型::短写}) {
      for (std::uint64_t n = 1; n <= 总调用; ++n) {
        ASSERT_TRUE(原子写入文件(目标, 旧, 备份));
        bool 结果 = false;
        std::string 故障调用;
        {
          文件故障注入 注入(n, 类型);
          结果 = 原子写入文件(目标, 新, 备份);
          故障调用 = 注入.故障调用();
        }
        SCOPED_TRACE("n=" + std::to_string(n) + " " + 故障调用 + (备份.empty() ? " no backup" : ""));
        const std::string 现在 = 读测试文件(目录_.子路径("state/doc"));
        EXPECT_TRUE(现在 == 旧 || 现在 == 新);
        if (结果) { EXPECT_EQ(现在, 新); }
        EXPECT_EQ(目录内容(目录_.子路径("state")), 留下);
      }
    }
  }
  // The content is flushed before it replaces anything: a failed flush fails the write.
  文件故障注入 注入("刷新");
  EXPECT_FALSE(原子写入文件(目标, "x", L""));
  EXPECT_TRUE(注入.已注入());
}

// A replace that fails keeps the target and an existing backup; with no backup there, the
// old content is copied aside first and the write goes on.
TEST_F(存储, 替换失败时保留备份或先复制旧内容) {
  const auto 目标 = 目录_.宽路径("doc");
  for (const bool 有备份 : {true, false}) {
    写测试文件(目录_.子路径("doc"), "old");
    std::filesystem::remove(目录_.子路径("doc.bak"));
    if (有备份) 写测试文件(目录_.子路径("doc.bak"), "older");
    {
      文件故障注入 注入("替换并备份");
      EXPECT_EQ(原子写入文件(目标, "new", 目录_.宽路径("doc.bak")), !有备份);
    }
    EXPECT_EQ(读测试文件(目录_.子路径("doc")), 有备份 ? "old" : "new");
    EXPECT_EQ(读测试文件(目录_.子路径("doc.bak")), 有备份 ? "older" : "old");
    EXPECT_EQ(目录内容(目录_.路径()), (std::vector<std::string>{"doc", "doc.bak"}));
  }
}

TEST_F(存储, 格式往返与校验和) {
  本地版本状态 状态;
  ASSERT_TRUE(解析本地版本状态(第几代(7), &状态));
  EXPECT_EQ(序列化本地版本状态(状态), 第几代(7));
  const std::string 文本 = 第几代(7);
  const auto 替换 = [&](const std::string& 旧, const std::string& 新) {
    std::string 结果 = 文本;
    return 结果.replace(结果.find(旧), 旧.size(), 新);
  };
  for (const std::string& 坏 : {替换("\"activeRelease\":\"1.0.0\"", "\"activeRelease\":\"1.0.9\""),
                                替换("\"note\":\"hello\"", "\"note\":\"hellO\""),
                                替换("\"formatVersion\":2", "\"formatVersion\":3"), 文本 + "{}",
                                std::string("state")}) {
    EXPECT_FALSE(解析本地版本状态(坏, &状态)) << 坏;
  }
  EXPECT_TRUE(解析本地版本状态("stateVersion=1\nactiveRelease=v1\n", &状态));
  EXPECT_EQ(状态.activeRelease, L"v1");
}

// The newer of the two usable files wins, the main one on a tie. A file that exists but
// cannot be read this time fails the load: handing out the older one would let the next
// save drop what the newer generation recorded.
TEST_F(存储, 按代次选择主文件或备份) {
  const std::string 损坏 = "{\"generation\":100";
  const struct {
    std::string 主, 备份;  // empty: no file
    const char* 故障调用;   // fails the first call of this name
    int 选;                 // 1 main, 2 backup, 0 the load fails
  } 用例表[] = {
      {第几代(7), 第几代(8), "", 2}, {第几代(8), 第几代(8), "", 1}, {第几代(9), 第几代(8), "", 1},
      {"", 第几代(3), "", 2},        {损坏, 第几代(2), "", 2},       {第几代(2), 损坏, "", 1},
      {"", 损坏, "", 0},             {第几代(5), 第几代(4), "打开", 0}, {第几代(5), 第几代(4), "读取", 0},
  };
  for (const auto& 例 : 用例表) {
    SCOPED_TRACE(::testing::Message() << &例 - 用例表);
    for (const auto& [名称, 内容] : {std::pair{"state.txt", 例.主}, std::pair{"state.txt.bak", 例.备份}}) {
      std::filesystem::remove(目录_.子路径(名称));
      if (!内容.empty()) 写测试文件(目录_.子路径(名称), 内容);
    }
    std::string 文本 = "untouched";
    本地版本状态 状态;
    std::unique_ptr<文件故障注入> 故障;
    if (*例.故障调用 != '\0') 故障 = std::make_unique<文件故障注入>(std::string(例.故障调用));
    EXPECT_EQ(加载本地版本状态(目录_.宽路径(), &文本, &状态), 例.选 != 0);
    if (故障) { EXPECT_TRUE(故障->已注入()); }
    EXPECT_EQ(文本, 例.选 == 0 ? "untouched" : 例.选 == 1 ? 例.主 : 例.备份);
  }
}

TEST(发布标识有效, 只接受安全的单个路径段) {
  for (const wchar_t* 好 : {L"r1", L"1.2.3-beta_4"}) EXPECT_TRUE(发布标识有效(好)) << 好;
  for (const wchar_t* 坏 : {L"", L".", L"..", L"a/b", L"a\\b"}) EXPECT_FALSE(发布标识有效(坏)) << 坏;
  EXPECT_FALSE(发布标识有效(std::wstring(65, L'a')));
}

}  // namespace
}  // namespace tallybell
