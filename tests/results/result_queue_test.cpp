#include "results/result_queue.h"

#include <gtest/gtest.h>

#include <regex>

#include "support/file_helpers.h"
#include "support/result_events.h"
#include "support/temp_dir.h"

namespace tallybell {
namespace {

using namespace 测试;

结果事件 样例事件(const std::string& 标识 = "e1") { return 测试结果事件(标识); }

TEST(结果事件, 字段限制) {
  struct 用例 {
    const char* 名称;
    void (*修改)(结果事件*);
    bool 有效;
  };
  const 用例 用例表[] = {
      {"sample", [](结果事件*) {}, true},
      {"empty releases", [](结果事件* 事件) { 事件->originalReleaseId = 事件->finalReleaseId = ""; }, true},
      {"result 64", [](结果事件* 事件) { 事件->result = std::string(64, 'x'); }, true},
      {"result 65", [](结果事件* 事件) { 事件->result = std::string(65, 'x'); }, false},
      {"result empty", [](结果事件* 事件) { 事件->result.clear(); }, false},
      {"result LF", [](结果事件* 事件) { 事件->result = "a\nb"; }, false},
      {"eventId 64", [](结果事件* 事件) { 事件->eventId = std::string(64, 'A'); }, true},
      {"eventId 65", [](结果事件* 事件) { 事件->eventId = std::string(65, 'A'); }, false},
      {"eventId dots", [](结果事件* 事件) { 事件->eventId = ".."; }, false},
      {"eventId slash", [](结果事件* 事件) { 事件->eventId = "a/b"; }, false},
      {"installation 129", [](结果事件* 事件) { 事件->installationId = std::string(129, 'i'); }, false},
      {"assignment 256", [](结果事件* 事件) { 事件->assignmentId = std::string(256, 'a'); }, true},
      {"assignment 257", [](结果事件* 事件) { 事件->assignmentId = std::string(257, 'a'); }, false},
      {"assignment CR", [](结果事件* 事件) { 事件->assignmentId = "a\r"; }, false},
      {"policy 0", [](结果事件* 事件) { 事件->policyVersion = 0; }, false},
      {"original 129", [](结果事件* 事件) { 事件->originalReleaseId = std::string(129, 'r'); }, false},
      {"stage 65", [](结果事件* 事件) { 事件->failureStage = std::string(65, 's'); }, false},
      {"target NUL", [](结果事件* 事件) { 事件->targetReleaseId = std::string("a\0b", 3); }, false},
      {"no time", [](结果事件* 事件) { 事件->occurredAt.clear(); }, false},
  };
  for (const auto& 项 : 用例表) {
    auto 事件 = 样例事件();
    项.修改(&事件);
    EXPECT_EQ(结果事件有效(事件), 项.有效) << 项.名称;
  }
}

TEST(结果事件入队, 写入文件且同一标识从不重写) {
  测试临时目录 目录;
  auto 事件 = 样例事件("same");
  ASSERT_TRUE(结果事件入队(目录.宽路径("state"), 事件));
  const auto 文件 = 目录.子路径("state/results/pending/same.json");
  const std::string 第一 = 读测试文件(文件);
  EXPECT_EQ(第一, 结果事件文档(事件));
  事件.result = "failed";
  EXPECT_TRUE(结果事件入队(目录.宽路径("state"), 事件));
  EXPECT_EQ(读测试文件(文件), 第一);
  EXPECT_EQ(目录内容(目录.子路径("state/results/pending")), std::vector<std::string>{"same.json"});
}

}  // namespace
}  // namespace tallybell
