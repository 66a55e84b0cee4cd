// The result report command as an operator runs it: the built program, its lines and codes.
#include <gtest/gtest.h>

#include "results/result_queue.h"
#include "support/file_helpers.h"
#include "support/result_events.h"
#include "support/program_runner.h"
#include "support/temp_dir.h"

namespace tallybell {
namespace {

namespace fs = std::filesystem;
using namespace 测试;

class 结果回报命令 : public ::testing::Test {
 protected:
  void 入队(const std::string& 标识) { ASSERT_TRUE(结果事件入队(目录_.宽路径("state"), 测试结果事件(标识))); }
  程序结果 回报(std::vector<std::string> 额外) {
    std::vector<std::string> 参数 = {"--report-result", "--state-root", 目录_.子路径("state").u8string(),
                                    "--offline-fixture", 目录_.子路径("fixture").u8string()};
    参数.insert(参数.end(), 额外.begin(), 额外.end());
    return 运行更新程序(参数);
  }
  std::string 已回报() const { return 读测试文件(目录_.子路径("fixture/reported-results.ndjson")); }

  测试临时目录 目录_;
};

TEST_F(结果回报命令, 经夹具投递排队事件并打印计数) {
  fs::create_directories(目录_.子路径("fixture"));
  入队("e1");
  入队("e2");
  const std::string 文档1 = 读测试文件(目录_.子路径("state/results/pending/e1.json"));
  const std::string 文档2 = 读测试文件(目录_.子路径("state/results/pending/e2.json"));
  const auto 结果 = 回报({"--result-url", "https://results.example/update/v1/results"});
  EXPECT_EQ(结果.输出, "result report completed sent=2 pending=0\n");
  EXPECT_EQ(结果.退出码, 0u);
  EXPECT_EQ(已回报(), 文档1 + "\n" + 文档2 + "\n");
  EXPECT_TRUE(目录内容(目录_.子路径("state/results/pending")).empty());
}

TEST_F(结果回报命令, 无法投递的事件留在队列并返回3019) {
  fs::create_directories(目录_.子路径("fixture"));
  入队("e1");
  写测试文件(目录_.子路径("state/results/pending/e2.json"), "{\"no\":\"id\"}");
  const auto 结果 = 回报({"--result-url", "https://results.example/update/v1/results"});
  EXPECT_EQ(结果.输出, "result report failed code=3019 pending=1\n");
  EXPECT_EQ(结果.退出码, 可观察退出码(3019));
  // A results path the fixture does not route leaves every event queued.
  入队("e3");
  const auto 再次 = 回报({"--result-url", "https://results.example/elsewhere"});
  EXPECT_EQ(再次.输出, "result report failed code=3019 pending=2\n");
}

}  // namespace
}  // namespace tallybell
