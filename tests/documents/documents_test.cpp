// The documents the update core trusts: digests, release manifests, version policies and
// the canonical JSON form their checksums and content identities are computed over.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "documents/json_output.h"
#include "documents/json_value.h"
#include "documents/manifest.h"
#include "documents/policy.h"
#include "documents/sha256.h"
#include "support/file_helpers.h"
#include "support/temp_dir.h"

namespace tallybell {
namespace {

using nlohmann::json;
const std::string 哈希A(64, 'a');
const std::string 内容主机 = TALLYBELL_CONTENT_HOST;

std::string 数据摘要(const std::string& 数据) {
  unsigned char 摘要[SHA256字节数];
  EXPECT_TRUE(计算数据SHA256(数据.data(), 数据.size(), 摘要));
  return 转小写十六进制(摘要);
}

TEST(SHA256, 已知摘要且文件与数据一致) {
  EXPECT_EQ(数据摘要(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(数据摘要("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  // A file of several read chunks hashes like the same bytes in memory.
  测试::测试临时目录 目录;
  std::string 大文件(3 * 1048576 + 17, '\0');
  for (std::size_t i = 0; i < 大文件.size(); ++i) 大文件[i] = static_cast<char>(i * 31 + i / 4099);
  测试::写测试文件(目录.子路径("big"), 大文件);
  unsigned char 摘要[SHA256字节数];
  ASSERT_TRUE(计算文件SHA256(目录.宽路径("big"), 摘要));
  EXPECT_EQ(转小写十六进制(摘要), 数据摘要(大文件));
  EXPECT_FALSE(计算文件SHA256(目录.宽路径("missing"), 摘要));
  EXPECT_FALSE(计算文件SHA256(目录.宽路径(), 摘要));
}

json 有效清单() {
  return {{"formatVersion", 1},
          {"releaseId", "r12.3-beta_4"},
          {"files",
           {{{"path", "bin/app.dll"}, {"sha256", 哈希A}, {"size", 10},
             {"downloadUrls", {"HTTPS://Mirror.Example/A?x=1", "http://" + 内容主机 + "/a"}}},
            {{"path", "Tallybell.exe"}, {"sha256", 哈希A}, {"size", 0},
             {"downloadUrls", {"https://mirror.example/b"}}}}}};
}

struct 变更 {
  const char* 名称;
  std::function<void(json&)> 修改;
  bool 接受;
};

TEST(发布清单解析, 每条规则) {
  const std::vector<变更> 表 = {
      {"valid", [](json&) {}, true},
      {"formatVersion 2", [](json& d) { d["formatVersion"] = 2; }, false},
      {"formatVersion 0", [](json& d) { d["formatVersion"] = 0; }, false},
      {"releaseId with slash", [](json& d) { d["releaseId"] = "a/b"; }, false},
      {"releaseId 129 bytes", [](json& d) { d["releaseId"] = std::string(129, 'x'); }, false},
      {"files empty", [](json& d) { d["files"] = json::array(); }, false},
      {"path absolute", [](json& d) { d["files"][0]["path"] = "/a"; }, false},
      {"path dot-dot", [](json& d) { d["files"][0]["path"] = "a/../b"; }, false},
      {"path trailing dot-dot", [](json& d) { d["files"][0]["path"] = "a/.."; }, false},
      {"path empty segment", [](json& d) { d["files"][0]["path"] = "a//b"; }, false},
      {"path backslash", [](json& d) { d["files"][0]["path"] = "a\\b"; }, false},
      {"path repeated in other case", [](json& d) { d["files"][1]["path"] = "BIN/App.dll"; }, false},
      {"sha256 upper case", [](json& d) { d["files"][0]["sha256"] = std::string(64, 'A'); }, false},
      {"sha256 63 digits", [](json& d) { d["files"][0]["sha256"] = std::string(63, 'a'); }, false},
      {"size negative", [](json& d) { d["files"][0]["size"] = -1; }, false},
      {"no urls", [](json& d) { d["files"][0]["downloadUrls"] = json::array(); }, false},
      {"plain http elsewhere", [](json& d) { d["files"][0]["downloadUrls"] = {"http://other.example/x"}; }, false},
      {"ftp", [](json& d) { d["files"][0]["downloadUrls"] = {"ftp://a.example/x"}; }, false},
      {"content host on another port", [](json& d) { d["files"][0]["downloadUrls"] = {"http://" + 内容主机 + ":8080/x"}; }, false},
      {"raw UTF-8 over HTTPS", [](json& d) { d["files"][0]["downloadUrls"] = {"https://a.example/caf\u00e9"}; }, true},
      {"size at maximum", [](json& d) { d["files"][0]["size"] = 18446744073709551615u; }, true},
  };
  for (const auto& 项 : 表) {
    json 文档 = 有效清单();
    项.修改(文档);
    发布清单 清单;
    EXPECT_EQ(解析发布清单(文档.dump(), &清单), 项.接受) << 项.名称;
  }
  发布清单 清单;
  ASSERT_TRUE(解析发布清单(有效清单().dump(), &清单));
  ASSERT_EQ(清单.files.size(), 2u);
  EXPECT_EQ(清单.files[0].path, "bin/app.dll");
  EXPECT_EQ(清单.files[0].size, 10u);
  EXPECT_EQ(清单.files[0].downloadUrls[1], "http://" + 内容主机 + "/a");
}

json 有效策略() {
  return {{"policyVersion", 7},
          {"assignmentId", "as"},
          {"action", "update"},
          {"targetReleaseId", "r12.3-beta_4"},
          {"manifestUrl", "https://updates.example/releases/r12.3-beta_4/manifest.json"},
          {"manifestHash", 哈希A},
          {"checkAfter", "2024-05-01T08:00:00Z"},
          {"resultReportUrls", {"https://a.example/update/v1/results", "https://b.example/r"}}};
}

TEST(版本策略解析, 每条规则) {
  const json 三个 = {"https://a.example/1", "https://a.example/2", "https://a.example/3"};
  const json 四个 = {"https://a.example/1", "https://a.example/2", "https://a.example/3", "https://a.example/4"};
  const std::vector<变更> 表 = {
      {"valid", [](json&) {}, true},
      {"policyVersion 0", [](json& d) { d["policyVersion"] = 0; }, false},
      {"other action", [](json& d) { d["action"] = "rollback"; }, false},
      {"assignmentId empty", [](json& d) { d["assignmentId"] = ""; }, false},
      {"target dot-dot path", [](json& d) { d["targetReleaseId"] = "a/b"; }, false},
      {"manifest over plain http", [](json& d) { d["manifestUrl"] = "http://updates.example/m.json"; }, false},
      {"manifestHash upper case", [](json& d) { d["manifestHash"] = std::string(64, 'A'); }, false},
      {"checkAfter without zone", [](json& d) { d["checkAfter"] = "2024-05-01T08:00:00"; }, false},
      {"checkAfter with offset", [](json& d) { d["checkAfter"] = "2024-05-01T08:00:00+02:00"; }, true},
      {"three result urls", [&](json& d) { d["resultReportUrls"] = 三个; }, true},
      {"four result urls", [&](json& d) { d["resultReportUrls"] = 四个; }, false},
      {"no result urls", [](json& d) { d["resultReportUrls"] = json::array(); }, false},
      {"result url repeated", [](json& d) { d["resultReportUrls"] = {"https://a.example/1", "https://a.example/1"}; }, false},
      {"result url plain http", [](json& d) { d["resultReportUrls"] = {"http://" + 内容主机 + "/r"}; }, false},
  };
  for (const auto& 项 : 表) {
    json 文档 = 有效策略();
    项.修改(文档);
    版本策略 策略;
    EXPECT_EQ(解析版本策略(文档.dump(), &策略), 项.接受) << 项.名称;
  }
}

// The content identity ignores member order, layout and unknown members, but not content.
TEST(版本策略解析, 内容标识) {
  const auto 标识 = [](const std::string& 文本) {
    版本策略 策略;
    EXPECT_TRUE(解析版本策略(文本, &策略));
    return 策略内容标识(策略);
  };
  const json 文档 = 有效策略();
  nlohmann::ordered_json 倒序 = nlohmann::ordered_json::object();
  for (auto 项 = 文档.rbegin(); 项 != 文档.rend(); ++项) 倒序[项.key()] = *项;
  json 附加 = 文档;
  附加["note"] = "x";
  json 另一个 = 文档;
  另一个["resultReportUrls"][1] = "https://b.example/s";
  EXPECT_EQ(标识(倒序.dump()), 标识(文档.dump()));
  EXPECT_EQ(标识(附加.dump(2)), 标识(文档.dump()));
  EXPECT_NE(标识(另一个.dump()), 标识(文档.dump()));
}

// Checksums are computed over this form: members in byte order, compact, UTF-8 kept,
// only the escapes JSON requires.
TEST(JSON, 规范文本与嵌套深度) {
  Json值 值;
  ASSERT_TRUE(Json值::解析("{ \"b\": [1, -2, true, null], \"a\": \"\xE4\xB8\xAD\\u0001\\/\\\"\" }", &值));
  std::string 文本;
  ASSERT_TRUE(序列化JSON(值, &文本));
  EXPECT_EQ(文本, "{\"a\":\"\xE4\xB8\xAD\\u0001/\\\"\",\"b\":[1,-2,true,null]}");
  EXPECT_FALSE(Json值::解析("{\"a\":1,\"a\":2}", &值));
  // At most 32 levels of nesting, so a hostile document cannot exhaust the stack.
  const auto 嵌套 = [](int 层) { return std::string(层, '[') + std::string(层, ']'); };
  EXPECT_TRUE(Json值::解析(嵌套(32), &值));
  EXPECT_FALSE(Json值::解析(嵌套(33), &值));
  EXPECT_FALSE(Json值::解析(嵌套(5000), &值));
  EXPECT_FALSE(序列化JSON(Json值::字符串("\xC3"), &文本));
}

}  // namespace
}  // namespace tallybell
