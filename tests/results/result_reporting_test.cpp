#include "results/result_reporting.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <utility>

#include "results/result_queue.h"
#include "support/file_helpers.h"
#include "support/result_events.h"
#include "support/temp_dir.h"

namespace tallybell {
namespace {

using namespace 测试;

// A transport that answers from a table of URL → status and records what it was sent.
class 记录传输 : public JsonHttp传输 {
 public:
  std::map<std::wstring, std::uint32_t> 状态;
  std::vector<JsonHttp请求> 请求记录;

  bool 发送(const JsonHttp请求& 请求, JsonHttp响应* 响应, std::wstring* 错误) override {
    请求记录.push_back(请求);
    const auto 项 = 状态.find(请求.url);
    if (项 == 状态.end()) {
      if (错误 != nullptr) *错误 = L"unreachable";
      return false;
    }
    响应->statusCode = 项->second;
    响应->finalUrl = 请求.url;
    响应->body = "ignored";
    return true;
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

TEST_F(结果回报, 按序投递并带幂等键和固定请求头) {
  入队("b-2");
  入队("a-1");
  入队("B-0");  // upper-case sorts before lower-case in ordinal order
  const std::string 文档 = 读测试文件(队列() / "a-1.json");
  传输_.状态[L"https://s/results"] = 200;
  EXPECT_EQ(回报更新结果(状态根(), {L"https://s/results"}, &传输_, &计数_, nullptr), 0u);
  EXPECT_EQ(计数_.sent, 3u);
  EXPECT_EQ(计数_.pending, 0u);
  ASSERT_EQ(传输_.请求记录.size(), 3u);
  const auto& 请求 = 传输_.请求记录[1];
  EXPECT_EQ(传输_.请求记录[0].headers.back().second, L"B-0");
  EXPECT_EQ(请求.method, L"POST");
  EXPECT_EQ(请求.body, 文档);
  const std::vector<std::pair<std::wstring, std::wstring>> 期望头 = {
      {L"Content-Type", L"application/json; charset=utf-8"},
      {L"Cache-Control", L"no-store, no-cache, must-revalidate"},
      {L"Pragma", L"no-cache"},
      {L"Idempotency-Key", L"a-1"}};
  EXPECT_EQ(请求.headers, 期望头);
  EXPECT_EQ(请求.connectTimeoutMs, 15000u);
  EXPECT_EQ(请求.sendTimeoutMs, 30000u);
  EXPECT_EQ(请求.receiveTimeoutMs, 30000u);
  EXPECT_EQ(请求.maxResponseBytes, 8388608u);
  EXPECT_FALSE(请求.allowContentHost);
  EXPECT_EQ(传输_.请求记录[2].headers.back().second, L"b-2");
}

TEST_F(结果回报, 第一地址503时经第二地址投递) {
  入队("e");
  传输_.状态[L"https://one/r"] = 503;
  传输_.状态[L"https://two/r"] = 204;
  EXPECT_EQ(回报更新结果(状态根(), {L"https://one/r", L"https://two/r"}, &传输_, &计数_, nullptr), 0u);
  EXPECT_EQ(计数_.sent, 1u);
  ASSERT_EQ(传输_.请求记录.size(), 2u);
  EXPECT_EQ(传输_.请求记录[1].url, L"https://two/r");
}

TEST_F(结果回报, 畸形事件留在队列并返回3019) {
  入队("1");
  写测试文件(队列() / "2.json", R"({"result":"no id"})");
  入队("3");
  写测试文件(队列() / "4.json", "not json");
  std::filesystem::create_directory(队列() / "5.json");  // a directory is not an event
  写测试文件(队列() / "notes.txt", "ignored");
  传输_.状态[L"https://s/r"] = 202;
  std::wstring 错误;
  EXPECT_EQ(回报更新结果(状态根(), {L"https://s/r"}, &传输_, &计数_, &错误), 3019u);
  EXPECT_EQ(错误, L"部分更新结果尚未回报，已保留在本地队列。");
  EXPECT_EQ(计数_.sent, 2u);
  EXPECT_EQ(计数_.pending, 2u);
  EXPECT_EQ(目录内容(队列()), (std::vector<std::string>{"2.json", "4.json", "5.json", "notes.txt"}));
}

// A second pass runs while the first is still sending its first event: it delivers and
// removes every event, the first one included. What the first pass then finds gone was
// delivered, not left behind, so neither pass may report events as still queued.
TEST_F(结果回报, 并行的另一轮已送达并移走的事件不算遗留) {
  入队("a");
  入队("b");
  入队("c");
  记录传输 另一轮传输;
  另一轮传输.状态[L"https://s/r"] = 204;
  结果回报计数 另一轮计数;
  std::uint32_t 另一轮代码 = 99;
  class 中途插入传输 : public 记录传输 {
   public:
    std::function<void()> 插入;
    bool 发送(const JsonHttp请求& 请求, JsonHttp响应* 响应, std::wstring* 错误) override {
      if (插入) std::exchange(插入, nullptr)();
      return 记录传输::发送(请求, 响应, 错误);
    }
  } 传输;
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
