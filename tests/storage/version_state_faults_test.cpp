// A state save interrupted at any file-system call leaves a loadable state: the previous
// generation or the new one, never a torn file and never a stray temporary file.
#include <gtest/gtest.h>

#include "storage/version_state.h"
#include "support/fault_injection.h"
#include "support/file_helpers.h"
#include "support/temp_dir.h"

namespace tallybell {
namespace {

using namespace 测试;

本地版本状态 第几代(std::uint64_t 代次) {
  本地版本状态 状态;
  状态.generation = 代次;
  状态.pendingRelease = L"r" + std::to_wstring(代次);
  状态.quarantined = {L"bad-" + std::to_wstring(代次)};
  状态.preservedFields = R"({"note":"kept"})";
  return 状态;
}

TEST(本地版本状态故障, 任一调用失败后仍可加载旧代或新代) {
  测试临时目录 目录;
  const std::wstring 状态根 = 目录.宽路径("state");
  const auto 路径 = 取本地版本状态路径(状态根);
  const auto 保存 = [&](std::uint64_t 代次) {
    return 保存本地版本状态(路径.主文件, 路径.备份文件, 序列化本地版本状态(第几代(代次)));
  };

  std::uint64_t 总调用 = 0;
  {
    ASSERT_TRUE(保存(1));
    ASSERT_TRUE(保存(2));
    文件故障注入 计数;
    ASSERT_TRUE(保存(3));
    总调用 = 计数.调用次数();
  }
  ASSERT_GT(总调用, 3u);

  std::uint64_t 覆盖 = 0;
  for (auto 类型 : {故障类型::调用失败, 故障类型::短写}) {
    for (std::uint64_t n = 1; n <= 总调用; ++n) {
      // Start each round from generations 1 (backup) and 2 (main).
      std::filesystem::remove_all(目录.子路径("state"));
      ASSERT_TRUE(保存(1));
      ASSERT_TRUE(保存(2));
      bool 结果 = false;
      std::string 故障调用;
      {
        文件故障注入 注入(n, 类型);
        结果 = 保存(3);
        故障调用 = 注入.故障调用();
        覆盖 += 注入.已注入() ? 1 : 0;
      }
      std::string 文本;
      本地版本状态 状态;
      ASSERT_TRUE(加载本地版本状态(状态根, &文本, &状态)) << "n=" << n << " " << 故障调用;
      EXPECT_TRUE(状态.generation == 2 || 状态.generation == 3) << "n=" << n << " " << 故障调用;
      if (结果) {
        EXPECT_EQ(状态.generation, 3u) << "n=" << n << " " << 故障调用;
      }
      EXPECT_EQ(状态.pendingRelease, L"r" + std::to_wstring(状态.generation));
      EXPECT_EQ(状态.preservedFields, R"({"note":"kept"})");
      EXPECT_EQ(目录内容(目录.子路径("state")), (std::vector<std::string>{"state.txt", "state.txt.bak"}))
          << "n=" << n << " " << 故障调用;
    }
  }
  RecordProperty("faultsInjected", static_cast<int>(覆盖));
  std::cout << "state save: faults injected at calls 1.." << 总调用 << " (" << 覆盖 << " runs over two fault kinds)\n";
}

}  // namespace
}  // namespace tallybell
