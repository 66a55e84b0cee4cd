// Network-fault campaign: complete update runs (resolve, manifest, object downloads,
// assembly, state, result delivery) over HTTPS against the loopback service, with one
// misbehaving answer per case. Each case has the code the run must end with and the
// bookkeeping it must leave (failure count and back-off, the result event and its stage,
// the download checkpoint with its last error and only correct bytes in .part); the
// installed release stays untouched, and the next run against a sound service prepares
// the release exactly as published.
//
//   tallybell-network_faults-campaign          short mode (CI)
//   tallybell-network_faults-campaign --long   adds the answers that stall past the
//                                              30 s time-outs of the resolve, manifest
//                                              and download requests
#include <nlohmann/json.hpp>

#include <functional>
#include <memory>

#include "common/time_text.h"
#include "shared/campaign.h"

namespace tallybell {
namespace {

using namespace 测试;
using 战役::长模式;

constexpr std::uint64_t 主程序大小 = 300000;  // several pieces of 64 KiB
constexpr std::uint64_t 预先收到 = 100000;    // bytes an earlier, cut-off run left in .part
constexpr std::uint32_t 超过时限毫秒 = 31000;  // past the 30 s receive time-out

// Where the misbehaving answer is given: the route of that stage.
enum class 阶段 { 解析, 清单, 下载, 回报 };
const char* const 阶段名[] = {"resolve", "manifest", "download", "results"};

struct 网络用例 {
  const char* 名称;
  阶段 所在;
  std::uint32_t 期望代码;
  std::function<服务应答()> 答;
  bool 先中断 = false;  // run once with the executable's download cut off first, so that .part holds bytes
  bool 仅长模式 = false;
};

class 网络故障战役 : public ::testing::TestWithParam<网络用例> {
 public:
  // One service for every case; the release it publishes is the same for all of them.
  static void SetUpTestSuite() {
    服务 = std::make_unique<测试服务>();
    if (!服务->已启动()) return;
    ::setenv("SSL_CERT_FILE", 服务->CA文件().c_str(), 1);
    夹具策略 策略;
    策略.policyVersion = 2;
    std::tie(清单, 策略文本) = 战役::服务发布(*服务, 文件, 策略);
  }
  static void TearDownTestSuite() { 服务.reset(); }
  static inline std::unique_ptr<测试服务> 服务;
  static inline const 发布内容 文件 = {{"Tallybell.exe", 战役::图案(主程序大小)}, {"lib/x.dll", 战役::图案(5000)}};
  static inline std::string 清单, 策略文本, 额外解析地址;
  static std::string 主程序路径() { return "/objects/" + 测试SHA256(文件[0].second); }
  // A plain-HTTP address on the same service: plain HTTP to any host but the designated
  // content host is refused, before and after redirects.
  static 服务应答 拒绝跳转(std::uint32_t 状态码, const std::string& 路径) {
    return 跳转应答(状态码, "http://127.0.0.1:" + std::to_string(服务->端口()) + 路径);
  }

 protected:
  私有锁命名空间 锁空间_;
  测试临时目录 目录_;
  战役::故障场地 场地_;

  fs::path 状态根() const { return 目录_.子路径("state"); }
  fs::path 断点(const char* 后缀) const { return 目录_.子路径("cache") / (测试SHA256(文件[0].second) + 后缀); }
  std::uint64_t 部分大小() const { return fs::exists(断点(".part")) ? fs::file_size(断点(".part")) : 0; }

  void SetUp() override {
    ASSERT_TRUE(服务 && 服务->已启动());
    // Installed: r1, active and last good, under policy version 1.
    战役::布置已装(目录_.子路径("program"), 状态根(), "r1", {{"Tallybell.exe", "exe-1"}, 文件[1]}, 2, 1);
    场地_ = {战役::预期值(目录_.子路径("program"), 状态根(), 目录_.子路径("cache"), "r2", 策略文本, 文件, "r1"), {}, 清单, 文件, 2};
    fs::create_directories(目录_.子路径("cache"));
    健全服务();
  }

  void 设置(阶段 所在, 服务应答 答) {
    const char* const 路由[][2] = {{"POST", "/update/v1/resolve"}, {"GET", "/releases/r2/manifest.json"}, {"GET", nullptr}, {"POST", "/update/v1/results"}};
    const auto& 项 = 路由[static_cast<int>(所在)];
    服务->设置路由(项[0], 项[1] != nullptr ? 项[1] : 主程序路径(), {std::move(答)});
  }
  void 健全服务() { 战役::健全路由(*服务, 文件, {清单, 策略文本}); }

  战役::运行结局 运行() {
    std::vector<std::string> 地址 = {服务->地址("/update/v1/resolve")};
    if (!额外解析地址.empty()) 地址.insert(地址.begin(), 额外解析地址);
    JsonHttp客户端 json;
    下载客户端 下载;
    return 战役::运行协调器(战役::协调器配置(目录_.子路径("program"), 状态根(), 目录_.子路径("cache"), 地址), &json, &下载);
  }

  // The failure bookkeeping of a run that ended with 代码.
  void 检查失败记录(阶段 所在, std::uint32_t 代码, const 本地版本状态& 之前, std::size_t 请求起点, std::vector<std::string>* 问题) const {
    const 本地版本状态 状态 = 读状态文件(状态根() / "state.txt");
    // Back-off: 5, 15, then 60 minutes after the failure.
    const std::uint64_t 次数 = 之前.updateFailureCount + 1;
    const std::uint64_t 分钟 = 次数 == 1 ? 5 : 次数 == 2 ? 15 : 60;
    if (状态.updateFailureCount != 次数) 问题->push_back("updateFailureCount " + std::to_string(状态.updateFailureCount));
    if (状态.nextCheckAt != 格式化UTC时间(战役::固定现在() + 分钟 * 600000000ULL)) 问题->push_back("nextCheckAt " + 状态.nextCheckAt);
    std::vector<nlohmann::json> 事件;  // the result events the service received
    for (const auto& 请求 : 战役::请求自(*服务, 请求起点, "/update/v1/results")) 事件.push_back(nlohmann::json::parse(请求.body, nullptr, false));
    // A failed resolve leaves the policy as it was and records no event; a later failure has
    // the policy stored and delivers one failed event naming its stage.
    const bool 无策略 = 所在 == 阶段::解析;
    const std::string 期望阶段 = 阶段名[static_cast<int>(所在)];
    if (状态.policyVersion != (无策略 ? 之前.policyVersion : 2)) 问题->push_back("policyVersion " + std::to_string(状态.policyVersion));
    if (无策略 && fs::exists(状态根() / "state" / "current-policy.json")) 问题->push_back("a failed resolve stored a policy");
    if (无策略 ? !事件.empty() : 事件.size() != 1 || !事件[0].is_object() || 事件[0].value("result", "") != "failed" ||
                                 事件[0].value("failureStage", "") != 期望阶段 || 事件[0].value("errorCode", 0u) != 代码) {
      问题->push_back("expected " + (无策略 ? std::string("no result event") : "one delivered failed event with stage " + 期望阶段));
    }
    if (战役::排队事件数(状态根()) != 0) 问题->push_back("a result event is queued");
    if (代码 != 3010) return;
    // The checkpoint of the object that failed names what went wrong, and .part keeps only
    // bytes that belong to the object (the oracle checks those).
    const auto 文档 = nlohmann::json::parse(读测试文件(断点(".part.json")), nullptr, false);
    if (!文档.is_object() || 文档.value("lastError", "").empty()) {
      问题->push_back("no checkpoint with a last error for the failed object");
    } else if (文档.value("downloaded", 0ULL) != 部分大小()) {
      问题->push_back("the checkpoint disagrees with .part");
    }
  }
};

using 战 = 网络故障战役;

template <typename 改动>
服务应答 改(服务应答 答, 改动 改) {
  改(答);
  return 答;
}
服务应答 迟缓(服务应答 答, std::uint32_t 毫秒) { return 改(std::move(答), [&](auto& 值) { 值.delayMs = 毫秒; }); }
服务应答 挂断() { return 改(服务应答{}, [](auto& 答) { 答.hangUp = true; }); }
服务应答 无尽(bool 分块) { return 改(服务应答{}, [&](auto& 答) { 答.endless = true, 答.chunked = 分块; }); }
服务应答 过大() { return 改(服务应答{}, [](auto& 答) { 答.bodySize = 8388608 + 1; }); }  // past the 8 MiB limit of documents
template <typename 改动>
服务应答 对象(改动 改动值) { return 改(对象应答(主程序大小), 改动值); }
服务应答 头(const char* 名称, const std::string& 值) { return 对象([&](auto& 答) { 答.headers = {{名称, 值}}; }); }
std::string 范围(std::uint64_t 起, std::uint64_t 总) { return "bytes " + std::to_string(起) + "-" + std::to_string(主程序大小 - 1) + "/" + std::to_string(总); }

std::vector<网络用例> 用例表() {
  const auto 常 = [](服务应答 答) { return [答] { return 答; }; };
  return {
      // Resolve: no policy, code 3012, back-off, no event, nothing stored.
      {"resolve 503", 阶段::解析, 3012, 常(应答(503, "busy"))},
      {"resolve 404", 阶段::解析, 3012, 常(应答(404))},
      {"resolve 204", 阶段::解析, 3012, 常(应答(204))},
      {"resolve 200 with an invalid policy", 阶段::解析, 3012, 常(应答(200, "{\"policyVersion\":2}"))},
      {"resolve hang-up", 阶段::解析, 3012, 常(挂断())},
      {"resolve body over 8 MiB", 阶段::解析, 3012, 常(过大())},
      {"resolve endless chunked body", 阶段::解析, 3012, 常(无尽(true))},
      {"resolve endless body without length", 阶段::解析, 3012, 常(无尽(false))},
      {"resolve redirect to a refused host", 阶段::解析, 3012, [] { return 战::拒绝跳转(307, "/update/v1/resolve"); }},
      {"resolve answers slowly, within the time-out", 阶段::解析, 0, [] { return 迟缓(应答(200, 战::策略文本), 3000); }},
      {"resolve answers past the time-out", 阶段::解析, 3012, [] { return 迟缓(应答(200, 战::策略文本), 超过时限毫秒); }, false, true},
      {"first resolve endpoint 503, second answers", 阶段::解析, 0,
       [] {
         战::服务->设置路由("POST", "/update/v1/resolve-down", {应答(503)});
         战::额外解析地址 = 战::服务->地址("/update/v1/resolve-down");
         return 应答(200, 战::策略文本);
       }},

      // Manifest: code 3015 (3011 for other bytes), stage "manifest", back-off.
      {"manifest 404", 阶段::清单, 3015, 常(应答(404))},
      {"manifest 503", 阶段::清单, 3015, 常(应答(503))},
      {"manifest 204", 阶段::清单, 3015, 常(应答(204))},
      {"manifest hang-up", 阶段::清单, 3015, 常(挂断())},
      {"manifest over 8 MiB", 阶段::清单, 3015, 常(过大())},
      {"manifest endless chunked body", 阶段::清单, 3015, 常(无尽(true))},
      {"manifest redirect to a refused host", 阶段::清单, 3015, [] { return 战::拒绝跳转(302, "/releases/r2/manifest.json"); }},
      {"manifest with other bytes", 阶段::清单, 3011, 常(应答(200, "{\"formatVersion\":1}"))},
      {"manifest answers past the time-out", 阶段::清单, 3015, 常(迟缓(应答(200, "{}"), 超过时限毫秒)), false, true},

      // Downloads: code 3010, stage "download", checkpoint with the last error; the next run
      // resumes from what was kept. Cases that cut off first start with 预先收到 bytes in .part.
      {"object cut off with a reset", 阶段::下载, 3010, 常(对象([](auto& 答) { 答.resetAfter = 150000; }))},
      {"object 200 to a range request, cut off", 阶段::下载, 3010, 常(对象([](auto& 答) { 答.ignoreRange = true, 答.resetAfter = 40000; })), true},
      {"object 200 to a range request, complete", 阶段::下载, 0, 常(对象([](auto& 答) { 答.ignoreRange = true; })), true},
      {"object Content-Range starting elsewhere", 阶段::下载, 3010, 常(头("Content-Range", 范围(0, 主程序大小))), true},
      {"object Content-Range with a wrong total", 阶段::下载, 3010, 常(头("Content-Range", 范围(预先收到, 主程序大小 + 1))), true},
      {"object Content-Range with *", 阶段::下载, 3010, 常(头("Content-Range", "bytes */" + std::to_string(主程序大小))), true},
      {"object 206 Content-Length too big", 阶段::下载, 3010, 常(头("Content-Length", std::to_string(主程序大小 - 预先收到 + 1))), true},
      {"object 200 Content-Length too big", 阶段::下载, 3010, 常(头("Content-Length", std::to_string(主程序大小 + 1)))},
      {"object body longer than the object", 阶段::下载, 3010, 常(对象([](auto& 答) { 答.chunked = true, 答.extraBytes = 100; }))},
      {"object endless body", 阶段::下载, 3010, 常(无尽(true))},
      {"object redirect to a refused host", 阶段::下载, 3010, [] { return 战::拒绝跳转(302, 战::主程序路径()); }},
      {"object hang-up", 阶段::下载, 3010, 常(挂断())},
      {"object 404", 阶段::下载, 3010, 常(应答(404))},
      {"object 503", 阶段::下载, 3010, 常(应答(503))},
      {"object with a wrong hash", 阶段::下载, 3010, 常(应答(200, std::string(主程序大小, 'z')))},
      {"object trickles in", 阶段::下载, 0, 常(对象([](auto& 答) { 答.trickleBytes = 16384, 答.trickleMs = 20; }))},
      {"object answers past the time-out", 阶段::下载, 3010, 常(对象([](auto& 答) { 答.delayMs = 超过时限毫秒; })), false, true},

      // Result delivery: the run itself succeeds; the event waits in the queue.
      {"results 503", 阶段::回报, 0, 常(应答(503))},
      {"results hang-up", 阶段::回报, 0, 常(挂断())},
      {"results redirect to a refused host", 阶段::回报, 0, [] { return 战::拒绝跳转(307, "/update/v1/results"); }},
  };
}

TEST_P(网络故障战役, 预期代码且安装仍可用) {
  const 网络用例& 用例 = GetParam();
  if (用例.仅长模式 && !长模式) GTEST_SKIP() << "long mode only";
  const auto 开始 = std::chrono::steady_clock::now();
  if (用例.先中断) {
    设置(阶段::下载, 对象([](auto& 答) { 答.resetAfter = 预先收到; }));
    ASSERT_EQ(运行().代码, 3010u);
    ASSERT_EQ(部分大小(), 预先收到);
    健全服务();
  }
  const 本地版本状态 之前 = 读状态文件(状态根() / "state.txt");
  设置(用例.所在, 用例.答());
  const std::size_t 请求起点 = 服务->已收请求().size();
  const 战役::运行结局 结局 = 运行();
  额外解析地址.clear();
  const std::uint64_t 保留字节 = 部分大小();
  EXPECT_EQ(结局.代码, 用例.期望代码) << 宽转UTF8宽松(结局.错误);
  std::vector<std::string> 问题 = 场地_.核对(结局);
  if (结局.代码 != 0) 检查失败记录(用例.所在, 结局.代码, 之前, 请求起点, &问题);
  if (结局.代码 == 0 && 战役::排队事件数(状态根()) != (用例.所在 == 阶段::回报 ? 1u : 0u)) 问题.push_back("wrong number of events queued");
  战役::报告问题(用例.名称, 问题);

  // The next run against a sound service completes and delivers everything queued; bytes
  // kept in .part are not fetched again: the resumed request starts after them.
  健全服务();
  const std::size_t 之后起点 = 服务->已收请求().size();
  问题 = 场地_.核对复原(运行());
  for (auto& 项 : 战役::核对投递(*服务, 之后起点, {})) 问题.push_back(std::move(项));
  std::string 续传范围;
  for (const auto& 请求 : 战役::请求自(*服务, 之后起点, 主程序路径())) 续传范围 = 请求.请求头("Range");
  if (结局.代码 != 0 && 保留字节 > 0 && 续传范围 != "bytes=" + std::to_string(保留字节) + "-") {
    问题.push_back("the next run did not resume after the " + std::to_string(保留字节) + " bytes kept");
  }
  战役::报告问题(std::string(用例.名称) + ", then against a sound service", 问题);
  战役::报告行("  %-46s %-9s expected %4u, code %4u, %5.1f s  %s", 用例.名称, 阶段名[static_cast<int>(用例.所在)],
               用例.期望代码, 结局.代码, 战役::秒数(开始), HasFailure() ? "FAILED" : "ok");
  ++战役::计(HasFailure() ? "cases failed" : "cases passed");
}

INSTANTIATE_TEST_SUITE_P(全程, 网络故障战役, ::testing::ValuesIn(用例表()), [](const auto& 信息) {
  std::string 名称 = 信息.param.名称;
  for (char& 字 : 名称) 字 = std::isalnum(static_cast<unsigned char>(字)) ? 字 : '_';
  return 名称;
});

}  // namespace
}  // namespace tallybell

const tallybell::战役::战役定义 tallybell::战役::本战役 = {"network-fault campaign"};
