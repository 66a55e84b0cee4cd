#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <utility>

#include "results/result_queue.h"
#include "results/result_reporting.h"
#include "support/fault_injection.h"
#include "support/file_helpers.h"
#include "support/result_events.h"
#include "support/temp_dir.h"

namespace tallybell {
namespace {

using namespace 测试;

TEST(结果事件, 字段限制) {
  using 事件 = 结果事件;
  const struct {
    std::string 结果事件::*字段;
    std::string 值;
    bool 有效;
  } 用例表[] = {
      {&事件::result, std::string(64, 'x'), true},          {&事件::result, std::string(65, 'x'), false},
      {&事件::result, "", false},                           {&事件::eventId, std::string(64, 'A'), true},
      {&事件::eventId, std::string(65, 'A'), false},        {&事件::eventId, "..", false},
      {&事件::eventId, "a/b", false},                       {&事件::installationId, std::string(129, 'i'), false},
      {&事件::assignmentId, std::string(256, 'a'), true},   {&事件::assignmentId, std::string(257, 'a'), false},
      {&事件::assignmentId, "a\r", false},                  {&事件::failureStage, std::string(65, 's'), false},
      {&事件::targetReleaseId, std::string("a\0b", 3), false}, {&事件::occurredAt, "", false},
  };
  for (const auto& 项 : 用例表) {
    auto 改过 = 测试结果事件("e1");
    改过.*项.字段 = 项.值;
    EXPECT_EQ(结果事件有效(改过), 项.有效) << &项 - 用例表;
  }
  auto 无策略 = 测试结果事件("e1");
  EXPECT_TRUE(结果事件有效(无策略));
  无策略.policyVersion = 0;
  EXPECT_FALSE(结果事件有效(无策略));
}

TEST(结果事件入队, 写入文件且同一标识从不重写) {
  测试临时目录 目录;
  auto 事件 = 测试结果事件("same");
  ASSERT_TRUE(结果事件入队(目录.宽路径("state"), 事件));
  const auto 文件 = 目录.子路径("state/results/pending/same.json");
  const std::string 第一 = 读测试文件(文件);
  EXPECT_EQ(第一, 结果事件文档(事件));
  事件.result = "failed";
  EXPECT_TRUE(结果事件入队(目录.宽路径("state"), 事件));
  EXPECT_EQ(读测试文件(文件), 第一);
  EXPECT_EQ(目录内容(目录.子路径("state/results/pending")), std::vector<std::string>{"same.json"});
}

// A transport that answers from a table of URL → status (unreachable when missing), records
// what it was sent and runs 插入 once, before its first answer.
class 记录传输 : public JsonHttp传输 {
 public:
  std::map<std::wstring, std::uint32_t> 状态;
  std::vector<JsonHttp请求> 请求记录;
  std::function<void()> 插入;

  bool 发送(const JsonHttp请求& 请求, JsonHttp响应* 响应, std::wstring*) override {
    if (插入) std::exchange(插入, nullptr)();
    请求记录.push_back(请求);
    const auto 项 = 状态.find(请求.url);
    响应->statusCode = 项 == 状态.end() ? 0 : 项->second;
    响应->finalUrl = 请求.url;
    return 项 != 状态.end();
  }
};

class 结果回报 : public ::testing::Test {
 protected:
  void 入队(const std::string& 标识) { ASSERT_TRUE(结果事件入队(状态根(), 测试结果事件(标识))); }
  std::wstring 状态根() const { return 目录_.宽路径("state"); }
  std::filesystem::path 队列() const { return 目录_.子路径("state/results/pending"); }

  测试临时目录 目录_;
  记录传输 传输_;
  结果回报计数 计数_;
};

// Only a 2xx answer counts as delivered; anything else tries the next address, and an
// event no address took stays queued.
TEST_F(结果回报, 非2xx的答复不算送达) {
  const struct {
    std::uint32_t 第一, 第二;  // 0: unreachable
    std::size_t 请求数;
    bool 送达;
  } 用例[] = {{503, 204, 2, true}, {404, 200, 2, true}, {299, 0, 1, true}, {400, 0, 2, false}, {301, 500, 2, false}};
  for (const auto& 项 : 用例) {
    SCOPED_TRACE(项.第一);
    入队("e");
    传输_.状态.clear();
    传输_.请求记录.clear();
    if (项.第一 != 0) 传输_.状态[L"https://one/r"] = 项.第一;
    if (项.第二 != 0) 传输_.状态[L"https://two/r"] = 项.第二;
    EXPECT_EQ(回报更新结果(状态根(), {L"https://one/r", L"https://two/r"}, &传输_, &计数_, nullptr),
              项.送达 ? 0u : 3019u);
    ASSERT_EQ(传输_.请求记录.size(), 项.请求数);
    const auto& 请求 = 传输_.请求记录[0];
    EXPECT_EQ(请求.headers.back(), std::make_pair(std::wstring(L"Idempotency-Key"), std::wstring(L"e")));
    EXPECT_FALSE(请求.allowContentHost);
    EXPECT_EQ(计数_.sent, 项.送达 ? 1u : 0u);
    EXPECT_EQ(计数_.pending, 项.送达 ? 0u : 1u);
    std::filesystem::remove_all(队列());
  }
}

TEST_F(结果回报, 畸形事件与无法列出的队列留下事件并返回3019) {
  for (const char* 标识 : {"1", "3"}) 入队(标识);
  写测试文件(队列() / "2.json", R"({"result":"no id"})");
  写测试文件(队列() / "4.json", "not json");
  std::filesystem::create_directory(队列() / "5.json");  // a directory is not an event
  写测试文件(队列() / "notes.txt", "ignored");
  传输_.状态[L"https://s/r"] = 202;
  EXPECT_EQ(回报更新结果(状态根(), {L"https://s/r"}, &传输_, &计数_, nullptr), 3019u);
  EXPECT_EQ(计数_.sent, 2u);
  EXPECT_EQ(计数_.pending, 2u);
  EXPECT_EQ(目录内容(队列()), (std::vector<std::string>{"2.json", "4.json", "5.json", "notes.txt"}));

  // A queue folder that is there but cannot be listed is not an empty queue.
  文件故障注入 故障("枚举目录");
  EXPECT_EQ(回报更新结果(状态根(), {L"https://s/r"}, &传输_, &计数_, nullptr), 3019u);
  EXPECT_TRUE(故障.已注入());
  EXPECT_EQ(计数_.pending, 2u);
}

// A second pass runs while the first is still sending its first event: it delivers and
// removes every event, the first one included. What the first pass then finds gone was
// delivered, not left behind, so neither pass may report events as still queued.
TEST_F(结果回报, 并行的另一轮已送达并移走的事件不算遗留) {
  for (const char* 标识 : {"a", "b", "c"}) 入队(标识);
  记录传输 另一轮传输;
  另一轮传输.状态[L"https://s/r"] = 204;
  结果回报计数 另一轮计数;
  std::uint32_t 另一轮代码 = 99;
  记录传输 传输;
  传输.状态[L"https://s/r"] = 204;
  传输.插入 = [&] { 另一轮代码 = 回报更新结果(状态根(), {L"https://s/r"}, &另一轮传输, &另一轮计数, nullptr); };
  std::wstring 错误 = L"stale";
  EXPECT_EQ(回报更新结果(状态根(), {L"https://s/r"}, &传输, &计数_, &错误), 0u);
  EXPECT_TRUE(错误.empty());
  EXPECT_EQ(另一轮代码, 0u);
  EXPECT_EQ(另一轮计数.sent, 3u);
  EXPECT_EQ(计数_.sent, 0u);  // its one delivery was removed by the other pass
  EXPECT_EQ(计数_.pending, 0u);
  ASSERT_EQ(传输.请求记录.size(), 1u);  // a, sent twice under the same key; b and c once
  EXPECT_EQ(传输.请求记录[0].headers.back().second, L"a");
  EXPECT_TRUE(目录内容(队列()).empty());
}

}  // namespace
}  // namespace tallybell
