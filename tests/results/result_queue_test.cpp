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

TEST(结果事件, 文档紧凑且十二个键按字节序) {
  auto 事件 = 样例事件();
  事件.errorCode = 3010;
  事件.failureStage = "download";
  事件.originalReleaseId = "r\xE4\xB8\xAD";
  EXPECT_EQ(结果事件文档(事件),
            "{\"assignmentId\":\"a1\",\"errorCode\":3010,\"eventId\":\"e1\",\"failureStage\":\"download\","
            "\"finalReleaseId\":\"\",\"installationId\":\"inst\",\"occurredAt\":\"2026-12-06T01:02:03Z\","
            "\"originalReleaseId\":\"r\xE4\xB8\xAD\",\"policyVersion\":7,\"result\":\"prepared\","
            "\"targetReleaseId\":\"r2\",\"taskId\":\"update-e1\"}");
  事件.assignmentId = "\xFF";
  EXPECT_EQ(结果事件文档(事件), "");
}

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

TEST(结果事件入队, 超限事件什么也不写) {
  测试临时目录 目录;
  auto 事件 = 样例事件();
  事件.result = std::string(65, 'x');
  EXPECT_FALSE(结果事件入队(目录.宽路径("state"), 事件));
  EXPECT_FALSE(std::filesystem::exists(目录.子路径("state/results")));
  EXPECT_FALSE(结果事件入队(L"", 样例事件()));
}

TEST(记录更新结果, 生成小写GUID标识任务号和UTC时间) {
  测试临时目录 目录;
  ASSERT_TRUE(记录更新结果(目录.宽路径("s"), "inst", {7, "a1", "r2"}, L"", std::nullopt, std::nullopt, 3015));
  ASSERT_TRUE(记录更新结果(目录.宽路径("s"), "inst", {7, "a1", "r2"}, L"r1", std::string("prepared"),
                           std::string(""), 0));
  const auto 名称 = 目录内容(目录.子路径("s/results/pending"));
  ASSERT_EQ(名称.size(), 2u);
  const std::regex 形状(R"re(\{"assignmentId":"a1","errorCode":(0|3015),"eventId":"([0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12})","failureStage":"","finalReleaseId":"(r1|)","installationId":"inst","occurredAt":"2[0-9]{3}-[01][0-9]-[0-3][0-9]T[0-2][0-9]:[0-5][0-9]:[0-5][0-9]Z","originalReleaseId":"(r1|)","policyVersion":7,"result":"(failed|prepared)","targetReleaseId":"r2","taskId":"update-([^"]+)"\})re");
  for (const auto& 文件名 : 名称) {
    const std::string 文档 = 读测试文件(目录.子路径("s/results/pending/" + 文件名));
    std::smatch 匹配;
    ASSERT_TRUE(std::regex_match(文档, 匹配, 形状)) << 文档;
    EXPECT_EQ(文件名, 匹配[2].str() + ".json");
    EXPECT_EQ(匹配[6].str(), 匹配[2].str());
    EXPECT_EQ(匹配[3].str(), 匹配[4].str());  // finalReleaseId repeats originalReleaseId
    EXPECT_EQ(匹配[1].str() == "3015", 匹配[5].str() == "failed");
  }
}

}  // namespace
}  // namespace tallybell
