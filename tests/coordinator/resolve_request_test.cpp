#include "coordinator/resolve_request.h"

#include <gtest/gtest.h>

#include <deque>
#include <regex>
#include <string>
#include <vector>

#include "common/text.h"
#include "coordinator/installation_identity.h"
#include "support/file_helpers.h"
#include "support/temp_dir.h"
#include "transport/offline_fixture.h"

namespace tallybell {
namespace {

const std::string 设备标识 = "0123abcd-0000-4fff-9999-abcdefabcdef";
const std::wstring 甲地址 = L"https://a.example/update/v1/resolve";
const std::wstring 乙地址 = L"https://b.example/update/v1/resolve";
const std::wstring 状态码消息 = L"解析地址返回的状态码不是 200。";

// A valid policy as a service might format it: spacing and an unknown member must reach
// the caller byte for byte.
const std::string 策略文本 =
    "{ \"policyVersion\": 3, \"assignmentId\": \"as-1\", \"action\": \"update\",\n"
    "  \"targetReleaseId\": \"2.4.0\", \"extra\": [1, 2],\n"
    "  \"manifestUrl\": \"https://content.example/releases/2.4.0/manifest.json\",\n"
    "  \"manifestHash\": \"" + std::string(64, 'c') + "\", \"checkAfter\": \"2026-12-05T01:02:03Z\" }";

// One scripted answer per call: a transport failure with a message, or a status and body.
struct 应答 {
  bool 成功 = true;
  std::uint32_t 状态码 = 200;
  std::string 正文 = 策略文本;
  std::wstring 消息;
};

class 录制传输 : public JsonHttp传输 {
 public:
  bool 发送(const JsonHttp请求& 请求, JsonHttp响应* 响应, std::wstring* 错误) override {
    请求记录.push_back(请求);
    应答 当前;
    if (!脚本.empty()) {
      当前 = 脚本.front();
      脚本.pop_front();
    }
    if (!当前.成功) {
      if (错误 != nullptr) *错误 = 当前.消息;
      return false;
    }
    *响应 = JsonHttp响应{当前.状态码, 请求.url, 当前.正文};
    if (错误 != nullptr) 错误->clear();
    return true;
  }

  std::deque<应答> 脚本;
  std::vector<JsonHttp请求> 请求记录;
};

class 解析请求 : public ::testing::Test {
 protected:
  解析请求() { 配置_.resolveUrls = {甲地址, 乙地址}; }

  bool 请求() {
    策略_ = 版本策略{};
    策略_.assignmentId = "untouched";
    原始文本_ = "untouched";
    错误_ = L"stale";
    return 请求版本策略(配置_, 状态_, 设备标识, &传输_, &策略_, &原始文本_, &错误_);
  }

  void 预期未交出() const {
    EXPECT_EQ(策略_.assignmentId, "untouched");
    EXPECT_EQ(原始文本_, "untouched");
  }

  std::wstring 请求标识(std::size_t 序号) const {
    const auto& 头 = 传输_.请求记录.at(序号).headers;
    return 头.size() == 4 ? 头[3].second : L"";
  }

  更新协调器配置 配置_;
  本地版本状态 状态_;
  录制传输 传输_;
  版本策略 策略_;
  std::string 原始文本_;
  std::wstring 错误_;
};

TEST_F(解析请求, 新安装的正文与请求字段) {
  ASSERT_TRUE(请求());
  ASSERT_EQ(传输_.请求记录.size(), 1u);
  const JsonHttp请求& 发出 = 传输_.请求记录[0];
  EXPECT_EQ(发出.body, "{\"currentReleaseId\":\"\",\"installationId\":\"" + 设备标识 +
                           "\",\"lastGoodReleaseId\":\"\",\"launcherVersion\":\"0.1.0.37\",\"os\":\"" +
                           取得系统描述() +
                           "\",\"productId\":\"tallybell\",\"quarantinedReleaseIds\":[],"
                           "\"updateCoreVersion\":\"0.1.0.37\",\"userId\":\"\"}");
  EXPECT_EQ(发出.method, L"POST");
  EXPECT_EQ(发出.url, 甲地址);
  const std::vector<std::pair<std::wstring, std::wstring>> 期望头 = {
      {L"Content-Type", L"application/json; charset=utf-8"},
      {L"Cache-Control", L"no-store, no-cache, must-revalidate"},
      {L"Pragma", L"no-cache"},
      {L"X-Request-Id", 请求标识(0)},
  };
  EXPECT_EQ(发出.headers, 期望头);
  EXPECT_TRUE(std::regex_match(宽转UTF8宽松(请求标识(0)),
                               std::regex("\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}")))
      << 宽转UTF8宽松(请求标识(0));
  EXPECT_EQ(发出.connectTimeoutMs, 15000u);
  EXPECT_EQ(发出.sendTimeoutMs, 30000u);
  EXPECT_EQ(发出.receiveTimeoutMs, 30000u);
  EXPECT_EQ(发出.maxResponseBytes, 8388608u);
  EXPECT_FALSE(发出.allowContentHost);

  EXPECT_EQ(原始文本_, 策略文本);
  EXPECT_EQ(策略_.policyVersion, 3u);
  EXPECT_EQ(策略_.targetReleaseId, "2.4.0");
  EXPECT_EQ(错误_, L"");
}

TEST_F(解析请求, 正文取自状态与配置) {
  状态_.activeRelease = L"2.3.0";
  状态_.lastGoodRelease = L"2.2.0";
  状态_.pendingRelease = L"not-sent";
  状态_.quarantined = {L"2.4.0", std::wstring(1, static_cast<wchar_t>(0xD800)), L"2.1.0"};
  配置_.userId = "user \"7\"\\中\n";
  ASSERT_TRUE(请求());
  EXPECT_EQ(传输_.请求记录.at(0).body,
            "{\"currentReleaseId\":\"2.3.0\",\"installationId\":\"" + 设备标识 +
                "\",\"lastGoodReleaseId\":\"2.2.0\",\"launcherVersion\":\"0.1.0.37\",\"os\":\"" +
                取得系统描述() +
                "\",\"productId\":\"tallybell\",\"quarantinedReleaseIds\":[\"2.4.0\",\"\",\"2.1.0\"],"
                "\"updateCoreVersion\":\"0.1.0.37\",\"userId\":\"user \\\"7\\\"\\\\中\\n\"}");

  // An active release that is not valid UTF-16 is sent as "".
  状态_.activeRelease = std::wstring(1, static_cast<wchar_t>(0xDC00));
  std::string 正文;
  ASSERT_TRUE(生成解析请求正文(状态_, 设备标识, "", &正文));
  EXPECT_EQ(正文.rfind("{\"currentReleaseId\":\"\",", 0), 0u) << 正文;
}

TEST_F(解析请求, 传输失败或非200时换下一个地址且请求标识不变) {
  const 应答 第一个应答[] = {
      {false, 0, "", L"无法连接到服务器。"},
      {true, 503, "unavailable", L""},
      {true, 204, "", L""},
      {true, 302, 策略文本, L""},
  };
  for (const 应答& 第一个 : 第一个应答) {
    传输_ = 录制传输{};
    传输_.脚本 = {第一个};
    ASSERT_TRUE(请求()) << 第一个.状态码;
    ASSERT_EQ(传输_.请求记录.size(), 2u);
    EXPECT_EQ(传输_.请求记录[1].url, 乙地址);
    EXPECT_EQ(传输_.请求记录[1].body, 传输_.请求记录[0].body);
    EXPECT_EQ(请求标识(1), 请求标识(0));
    EXPECT_EQ(原始文本_, 策略文本);
    EXPECT_EQ(错误_, L"");
  }
  // Every call makes its own request id.
  const std::wstring 上一个 = 请求标识(0);
  传输_ = 录制传输{};
  ASSERT_TRUE(请求());
  EXPECT_NE(请求标识(0), 上一个);
}

TEST_F(解析请求, 状态200的无效策略立即结束) {
  传输_.脚本 = {{true, 200, "{\"policyVersion\":0}", L""}};
  EXPECT_FALSE(请求());
  EXPECT_EQ(传输_.请求记录.size(), 1u);
  EXPECT_EQ(错误_, L"policyVersion 必须是大于零的整数。");
  预期未交出();

  传输_ = 录制传输{};
  传输_.脚本 = {{true, 200, "not json", L""}};
  EXPECT_FALSE(请求());
  EXPECT_EQ(传输_.请求记录.size(), 1u);
  EXPECT_EQ(错误_, L"JSON 格式或 UTF-8 编码无效。");
}

TEST_F(解析请求, 所有地址失败时留下最后的原因) {
  const struct {
    应答 最后;
    std::wstring 消息;
  } 用例[] = {
      {{true, 503, "", L""}, 状态码消息},
      {{false, 0, "", L"接收超时。"}, L"接收超时。"},
      {{false, 0, "", L""}, L"解析请求发送失败。"},
  };
  for (const auto& 项 : 用例) {
    传输_ = 录制传输{};
    传输_.脚本 = {{false, 0, "", L"无法连接到服务器。"}, 项.最后};
    EXPECT_FALSE(请求());
    EXPECT_EQ(传输_.请求记录.size(), 2u);
    EXPECT_EQ(错误_, 项.消息);
    预期未交出();
  }
}

TEST_F(解析请求, 无法发出时不联系任何地址) {
  配置_.resolveUrls.clear();
  EXPECT_FALSE(请求());
  EXPECT_EQ(错误_, L"没有配置解析地址。");

  配置_.resolveUrls = {甲地址};
  配置_.userId = "\xC3(";  // not UTF-8
  EXPECT_FALSE(请求());
  EXPECT_EQ(错误_, L"无法生成解析请求正文。");
  EXPECT_TRUE(传输_.请求记录.empty());
  预期未交出();

  配置_.userId.clear();
  EXPECT_FALSE(请求版本策略(配置_, 状态_, 设备标识, nullptr, &策略_, &原始文本_, &错误_));
  EXPECT_EQ(错误_, L"解析请求参数无效。");
  EXPECT_FALSE(请求版本策略(配置_, 状态_, 设备标识, &传输_, nullptr, &原始文本_, nullptr));
  EXPECT_TRUE(传输_.请求记录.empty());
}

TEST(解析请求离线夹具, 从夹具取得策略原文) {
  测试::测试临时目录 目录;
  测试::写测试文件(目录.子路径("policy.json"), 策略文本);
  离线更新夹具传输 夹具(目录.宽路径());
  更新协调器配置 配置;
  配置.resolveUrls = {L"https://updates.example/update/v1/other", L"https://updates.example/update/v1/resolve"};
  版本策略 策略;
  std::string 原文;
  std::wstring 错误 = L"stale";
  ASSERT_TRUE(请求版本策略(配置, 本地版本状态{}, 设备标识, &夹具, &策略, &原文, &错误));
  EXPECT_EQ(原文, 策略文本);
  EXPECT_EQ(策略.assignmentId, "as-1");
  EXPECT_EQ(错误, L"");
}

}  // namespace
}  // namespace tallybell
