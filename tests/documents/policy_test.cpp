#include "documents/policy.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "common/text.h"

namespace tallybell {
namespace {

using nlohmann::json;

const std::string 哈希A(64, 'a');
const std::string 内容主机 = TALLYBELL_CONTENT_HOST;

const std::wstring 根消息 = L"版本策略根必须是对象。";
const std::wstring 版本消息 = L"policyVersion 必须是大于零的整数。";
const std::wstring 字段消息前缀 = L"字段缺失或不是非空字符串：";
const std::wstring 动作消息 = L"action 不是当前客户端支持的动作。";
const std::wstring 目标消息 = L"targetReleaseId 格式无效。";
const std::wstring 清单地址消息 = L"manifestUrl 必须使用 HTTPS 或 http://" + 逐字节加宽(内容主机) + L"。";
const std::wstring 清单哈希消息 = L"manifestHash 必须是 64 位小写十六进制。";
const std::wstring 时间消息 = L"checkAfter 必须是带时区的 ISO 8601 时间。";
const std::wstring 回报数量消息 = L"resultReportUrls 必须包含一至三个 HTTPS 地址。";
const std::wstring 回报地址消息 = L"resultReportUrls 包含无效或重复地址。";
const std::wstring JSON语法消息 = L"JSON 格式或 UTF-8 编码无效。";

json 有效文档() {
  return {
      {"policyVersion", 7},
      {"assignmentId", "as"},
      {"action", "update"},
      {"targetReleaseId", "r12.3-beta_4"},
      {"manifestUrl", "https://updates.example/releases/r12.3-beta_4/manifest.json"},
      {"manifestHash", 哈希A},
      {"checkAfter", "2024-05-01T08:00:00Z"},
      {"resultReportUrls", {"https://a.example/update/v1/results", "https://b.example/r"}},
  };
}

// A policy that a failed parse must leave exactly as it was.
版本策略 哨兵策略() {
  版本策略 策略;
  策略.policyVersion = 99;
  策略.assignmentId = "sentinel";
  策略.targetReleaseId = "keep";
  策略.resultReportUrls = {"https://keep.example/"};
  return 策略;
}

struct 失败用例 {
  const char* 名称;
  std::function<void(json&)> 修改;
  std::wstring 消息;
};

void 预期失败(const std::string& 文本, const std::wstring& 期望消息, const char* 名称) {
  SCOPED_TRACE(名称);
  版本策略 策略 = 哨兵策略();
  std::wstring 错误 = L"stale";
  EXPECT_FALSE(解析版本策略(文本, &策略, &错误));
  EXPECT_EQ(错误, 期望消息);
  EXPECT_EQ(策略.policyVersion, 99u);
  EXPECT_EQ(策略.assignmentId, "sentinel");
  EXPECT_EQ(策略.targetReleaseId, "keep");
  EXPECT_EQ(策略.resultReportUrls, std::vector<std::string>{"https://keep.example/"});
}

void 运行失败表(const std::vector<失败用例>& 用例表) {
  for (const 失败用例& 用例 : 用例表) {
    json 文档 = 有效文档();
    用例.修改(文档);
    预期失败(文档.dump(), 用例.消息, 用例.名称);
  }
}

版本策略 解析成功(const std::string& 文本) {
  版本策略 策略 = 哨兵策略();
  std::wstring 错误 = L"stale";
  EXPECT_TRUE(解析版本策略(文本, &策略, &错误)) << 文本;
  EXPECT_EQ(错误, L"");
  return 策略;
}

std::function<void(json&)> 设置(const char* 名称, json 值) {
  return [名称, 值](json& 文档) { 文档[名称] = 值; };
}

std::function<void(json&)> 删除(const char* 名称) {
  return [名称](json& 文档) { 文档.erase(名称); };
}

TEST(版本策略解析, 有效策略填满全部字段且忽略其他成员) {
  json 文档 = 有效文档();
  文档["comment"] = {{"nested", true}};
  const 版本策略 策略 = 解析成功(文档.dump());
  EXPECT_EQ(策略.policyVersion, 7u);
  EXPECT_EQ(策略.assignmentId, "as");
  EXPECT_EQ(策略.action, 策略动作::update);
  EXPECT_EQ(策略.targetReleaseId, "r12.3-beta_4");
  EXPECT_EQ(策略.manifestUrl, "https://updates.example/releases/r12.3-beta_4/manifest.json");
  EXPECT_EQ(策略.manifestHash, 哈希A);
  EXPECT_EQ(策略.checkAfter, "2024-05-01T08:00:00Z");
  const std::vector<std::string> 预期地址 = {"https://a.example/update/v1/results",
                                            "https://b.example/r"};
  EXPECT_EQ(策略.resultReportUrls, 预期地址);

  文档.erase("resultReportUrls");
  EXPECT_TRUE(解析成功(文档.dump()).resultReportUrls.empty());
}

TEST(版本策略解析, 参数与文档结构) {
  std::wstring 错误 = L"stale";
  EXPECT_FALSE(解析版本策略(有效文档().dump(), nullptr, &错误));
  EXPECT_EQ(错误, L"版本策略输出参数不能为空。");
  EXPECT_FALSE(解析版本策略(有效文档().dump(), nullptr, nullptr));

  预期失败("{\"policyVersion\":1", JSON语法消息, "truncated");
  预期失败("{\"policyVersion\":1,\"policyVersion\":2}", L"JSON 对象包含重复字段。", "repeated");
  预期失败("[]", 根消息, "array root");
  预期失败("\"update\"", 根消息, "string root");

  版本策略 策略;
  EXPECT_FALSE(解析版本策略("null", &策略, nullptr));
}

TEST(版本策略解析, policyVersion必须大于零) {
  运行失败表({
      {"zero", 设置("policyVersion", 0), 版本消息},
      {"negative", 设置("policyVersion", -1), 版本消息},
      {"string", 设置("policyVersion", "1"), 版本消息},
      {"boolean", 设置("policyVersion", true), 版本消息},
      {"missing", 删除("policyVersion"), 版本消息},
      {"fraction", 设置("policyVersion", 1.5), L"JSON 只允许整数，不允许浮点数或超大整数。"},
  });
  json 文档 = 有效文档();
  文档["policyVersion"] = 1;
  EXPECT_EQ(解析成功(文档.dump()).policyVersion, 1u);
  文档["policyVersion"] = std::numeric_limits<std::uint64_t>::max();
  EXPECT_EQ(解析成功(文档.dump()).policyVersion, std::numeric_limits<std::uint64_t>::max());
}

TEST(版本策略解析, 必需字符串字段按顺序报告) {
  const char* const 字段表[] = {"assignmentId", "action",       "targetReleaseId",
                                "manifestUrl",  "manifestHash", "checkAfter"};
  std::vector<失败用例> 用例表;
  for (const char* 字段 : 字段表) {
    const std::wstring 消息 = 字段消息前缀 + 逐字节加宽(字段);
    用例表.push_back({字段, 删除(字段), 消息});
    用例表.push_back({字段, 设置(字段, ""), 消息});
    用例表.push_back({字段, 设置(字段, 5), 消息});
    用例表.push_back({字段, 设置(字段, std::string("a\0b", 3)), 消息});
  }
  // A missing member is reported before any later member is looked at.
  用例表.push_back({"assignmentId before action",
                    [](json& 文档) {
                      文档.erase("assignmentId");
                      文档["action"] = "Update";
                    },
                    字段消息前缀 + L"assignmentId"});
  用例表.push_back({"checkAfter missing before the action is judged",
                    [](json& 文档) {
                      文档.erase("checkAfter");
                      文档["action"] = "Update";
                    },
                    字段消息前缀 + L"checkAfter"});
  运行失败表(用例表);
}

TEST(版本策略解析, 先报告最早的失败检查) {
  // Each document breaks two rules; the one checked first is reported.
  const auto 两处 = [](const char* 甲, json 甲值, const char* 乙, json 乙值) {
    return [=](json& 文档) {
      文档[甲] = 甲值;
      文档[乙] = 乙值;
    };
  };
  运行失败表({
      {"version before strings", 两处("policyVersion", 0, "assignmentId", ""), 版本消息},
      {"action before target", 两处("action", "UPDATE", "targetReleaseId", "a b"), 动作消息},
      {"target before url", 两处("targetReleaseId", "a/b", "manifestUrl", "ftp://x/"), 目标消息},
      {"url before hash", 两处("manifestUrl", "ftp://x/", "manifestHash", "A"), 清单地址消息},
      {"hash before time", 两处("manifestHash", "A", "checkAfter", "now"), 清单哈希消息},
      {"time before urls", 两处("checkAfter", "now", "resultReportUrls", nullptr), 时间消息},
  });
}

TEST(版本策略解析, 动作目标与清单字段的规则) {
  运行失败表({
      {"capital U", 设置("action", "Update"), 动作消息},
      {"other action", 设置("action", "rollback"), 动作消息},
      {"target 129 bytes", 设置("targetReleaseId", std::string(129, 'r')), 目标消息},
      {"target space", 设置("targetReleaseId", "r 1"), 目标消息},
      {"target slash", 设置("targetReleaseId", "r/1"), 目标消息},
      {"target non-ASCII", 设置("targetReleaseId", "r\xC3\xA9"), 目标消息},
      {"url raw non-ASCII", 设置("manifestUrl", "https://u.example/\xC3\xA9"), 清单地址消息},
      {"url plain other host", 设置("manifestUrl", "http://other.example/m.json"), 清单地址消息},
      {"url content host port", 设置("manifestUrl", "http://" + 内容主机 + ":80/m.json"), 清单地址消息},
      {"url bare scheme", 设置("manifestUrl", "https://"), 清单地址消息},
      {"url empty authority", 设置("manifestUrl", "https:///m.json"), 清单地址消息},
      {"url backslash", 设置("manifestUrl", "https://u.example\\m.json"), 清单地址消息},
      {"hash uppercase", 设置("manifestHash", std::string(64, 'A')), 清单哈希消息},
      {"hash 63", 设置("manifestHash", std::string(63, 'a')), 清单哈希消息},
      {"hash 65", 设置("manifestHash", std::string(65, 'a')), 清单哈希消息},
      {"hash not hex", 设置("manifestHash", std::string(63, 'a') + "g"), 清单哈希消息},
  });

  const std::string 通过的目标[] = {std::string(128, 'r'), ".", "..", "A-z_0.9"};
  for (const std::string& 目标 : 通过的目标) {
    json 文档 = 有效文档();
    文档["targetReleaseId"] = 目标;
    EXPECT_EQ(解析成功(文档.dump()).targetReleaseId, 目标);
  }
  const std::string 通过的地址[] = {"http://" + 内容主机 + "/releases/r1/manifest.json",
                                    "HTTP://" + 内容主机, "HTTPS://U.example:8443/m?x=1#f"};
  for (const std::string& 地址 : 通过的地址) {
    json 文档 = 有效文档();
    文档["manifestUrl"] = 地址;
    EXPECT_EQ(解析成功(文档.dump()).manifestUrl, 地址);
  }
}

TEST(版本策略解析, checkAfter只检查时间形状) {
  运行失败表({
      {"no zone", 设置("checkAfter", "2024-05-01T08:00:00"), 时间消息},
      {"no zone with fraction", 设置("checkAfter", "2024-05-01T08:00:00.000"), 时间消息},
      {"space for T", 设置("checkAfter", "2024-05-01 08:00:00Z"), 时间消息},
      {"slashes", 设置("checkAfter", "2024/05/01T08:00:00Z"), 时间消息},
      {"offset without colon", 设置("checkAfter", "2024-05-01T08:00:00.0+0800"), 时间消息},
      {"offset form of 24 bytes", 设置("checkAfter", "2024-05-01T08:00:0+08:00"), 时间消息},
      {"long without zone", 设置("checkAfter", "2024-05-01T08:00:00.000000"), 时间消息},
      {"19 bytes with Z", 设置("checkAfter", "2024-05-01T08:00:0Z"), 时间消息},
  });
  const std::string 通过的时间[] = {"2024-05-01T08:00:00Z", "2024-05-01t08:00:00z",
                                    "2024-05-01T08:00:00+08:00", "2024-05-01T08:00:00.125-05:30",
                                    "2024-13-45T99:99:99Z", "xxxx-xx-xxTxx:xx:xxZ"};
  for (const std::string& 时间 : 通过的时间) {
    json 文档 = 有效文档();
    文档["checkAfter"] = 时间;
    EXPECT_EQ(解析成功(文档.dump()).checkAfter, 时间);
  }
}

TEST(版本策略解析, 结果回报地址) {
  const json 四个 = {"https://a.example/1", "https://a.example/2", "https://a.example/3",
                     "https://a.example/4"};
  运行失败表({
      {"empty array", 设置("resultReportUrls", json::array()), 回报数量消息},
      {"four", 设置("resultReportUrls", 四个), 回报数量消息},
      {"null", 设置("resultReportUrls", nullptr), 回报数量消息},
      {"string", 设置("resultReportUrls", "https://a.example/1"), 回报数量消息},
      {"plain http", 设置("resultReportUrls", {"http://" + 内容主机 + "/r"}), 回报地址消息},
      {"not a string", 设置("resultReportUrls", {"https://a.example/1", 5}), 回报地址消息},
      {"non-ASCII", 设置("resultReportUrls", {"https://a.example/\xC3\xA9"}), 回报地址消息},
      {"identical", 设置("resultReportUrls", {"https://a.example/1", "https://a.example/1"}),
       回报地址消息},
  });
  json 文档 = 有效文档();
  // Repeats are compared exactly, so letter case keeps URLs apart.
  const std::vector<std::string> 大小写不同 = {"https://a.example/r", "https://A.example/r",
                                              "https://a.example/R"};
  文档["resultReportUrls"] = 大小写不同;
  EXPECT_EQ(解析成功(文档.dump()).resultReportUrls, 大小写不同);
}

TEST(策略内容标识, 规范文本) {
  const 版本策略 策略 = 解析成功(有效文档().dump());
  const std::string 预期 =
      "7;2:as;6:update;12:r12.3-beta_4;"
      "59:https://updates.example/releases/r12.3-beta_4/manifest.json;64:" + 哈希A +
      ";20:2024-05-01T08:00:00Z;35:https://a.example/update/v1/results;19:https://b.example/r;";
  EXPECT_EQ(策略内容标识(策略), 预期);

  json 无地址 = 有效文档();
  无地址.erase("resultReportUrls");
  无地址["policyVersion"] = std::numeric_limits<std::uint64_t>::max();
  EXPECT_EQ(策略内容标识(解析成功(无地址.dump())),
            "18446744073709551615;2:as;6:update;12:r12.3-beta_4;59:"
            "https://updates.example/releases/r12.3-beta_4/manifest.json;64:" + 哈希A +
                ";20:2024-05-01T08:00:00Z;");
}

TEST(策略内容标识, 成员顺序不影响而内容差异可见) {
  const json 文档 = 有效文档();
  nlohmann::ordered_json 倒序 = nlohmann::ordered_json::object();
  for (auto 项 = 文档.rbegin(); 项 != 文档.rend(); ++项) 倒序[项.key()] = *项;
  ASSERT_NE(倒序.dump(), 文档.dump());
  const std::string 标识 = 策略内容标识(解析成功(文档.dump()));
  EXPECT_EQ(策略内容标识(解析成功(倒序.dump())), 标识);

  // Whitespace and ignored members do not count either.
  json 附加 = 文档;
  附加["note"] = "x";
  EXPECT_EQ(策略内容标识(解析成功(附加.dump(2))), 标识);

  json 另一个地址 = 文档;
  另一个地址["resultReportUrls"][1] = "https://b.example/s";
  EXPECT_NE(策略内容标识(解析成功(另一个地址.dump())), 标识);
}

}  // namespace
}  // namespace tallybell
