// The policy command: what it writes passes the core's policy parser, and what the parser
// would refuse is refused with its message.
#include <gtest/gtest.h>

#include <algorithm>

#include "documents/policy.h"
#include "publish/publish_test_support.h"
#include "support/temp_dir.h"

namespace tallybell {
namespace {

using namespace 测试;

class 策略命令 : public ::testing::Test {
 protected:
  void SetUp() override {
    写构建(目录_.子路径("build"), 样例构建());
    清单哈希_ = 发布(目录_.子路径("build"), "2026.12.1", 目录_.子路径("content"));
  }
  std::vector<std::string> 参数(const std::vector<std::string>& 替换 = {}) const {
    std::vector<std::string> 结果 = {"policy",
                                     "--manifest",
                                     路径文本(目录_.子路径("content/releases/2026.12.1/manifest.json")),
                                     "--manifest-url",
                                     "http://content.tallybell.example/releases/2026.12.1/manifest.json",
                                     "--policy-version",
                                     "7",
                                     "--assignment-id",
                                     "canary 5%",
                                     "--check-after",
                                     "2026-12-06T12:00:00+08:00",
                                     "--out",
                                     路径文本(目录_.子路径("out/policy.json"))};
    for (std::size_t i = 0; i + 1 < 替换.size(); i += 2) {
      const auto 位置 = std::find(结果.begin(), 结果.end(), 替换[i]);
      if (位置 == 结果.end()) {
        结果.push_back(替换[i]);
        结果.push_back(替换[i + 1]);
      } else {
        *(位置 + 1) = 替换[i + 1];
      }
    }
    return 结果;
  }

  测试临时目录 目录_;
  std::string 清单哈希_;
};

TEST_F(策略命令, 拒绝核心不接受的值) {
  struct 情形 {
    std::vector<std::string> 替换;
    std::uint32_t 代码;
    std::string 消息;
  };
  const std::vector<情形> 表 = {
      {{"--manifest-url", "http://other.example/m.json"}, 3, "manifestUrl 必须使用 HTTPS"},
      {{"--check-after", "2026-12-06 12:00:00"}, 3, "checkAfter 必须是带时区的 ISO 8601 时间。"},
      {{"--policy-version", "0"}, 3, "policyVersion 必须是大于零的整数。"},
      {{"--policy-version", "-1"}, 2, "--policy-version 须为十进制整数"},
      {{"--policy-version", "18446744073709551616"}, 2, "--policy-version 须为十进制整数"},
      {{"--result-url", "http://r.example/results"}, 3, "resultReportUrls 包含无效或重复地址。"},
      {{"--manifest", "/nonexistent/manifest.json"}, 4, "无法读取发布清单"},
      {{"--unknown", "x"}, 2, "该命令没有这个选项：--unknown"},
      {{"--out", ""}, 2, "选项缺少值：--out"},
  };
  for (const auto& 项 : 表) {
    const auto 结果 = 运行发布工具(参数(项.替换));
    EXPECT_EQ(结果.退出码, 项.代码) << 项.替换[0] << " " << 项.替换[1] << "\n" << 结果.输出;
    EXPECT_NE(结果.输出.find(项.消息), std::string::npos) << 结果.输出;
    EXPECT_FALSE(std::filesystem::exists(目录_.子路径("out/policy.json"))) << 项.替换[0];
  }
  // A manifest the core would not accept yields no policy either.
  写测试文件(目录_.子路径("bad.json"), "{\"formatVersion\":2}");
  const auto 坏清单 = 运行发布工具(参数({"--manifest", 路径文本(目录_.子路径("bad.json"))}));
  EXPECT_EQ(坏清单.退出码, 3u) << 坏清单.输出;
  EXPECT_NE(坏清单.输出.find("发布清单 formatVersion 必须为 1。"), std::string::npos) << 坏清单.输出;
}

}  // namespace
}  // namespace tallybell
