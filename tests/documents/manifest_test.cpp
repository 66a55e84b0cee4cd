#include "documents/manifest.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "documents/json_value.h"

namespace tallybell {
namespace {

using nlohmann::json;

const std::string 哈希A(64, 'a');
const std::string 哈希B = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";
const std::string 内容主机 = TALLYBELL_CONTENT_HOST;

const std::wstring 格式版本消息 = L"发布清单 formatVersion 必须为 1。";
const std::wstring 发布标识消息 = L"发布清单 releaseId 格式无效。";
const std::wstring 文件列表消息 = L"发布清单 files 必须是非空数组。";
const std::wstring 路径缺失消息 = L"字段缺失或不是非空字符串：path";
const std::wstring 哈希缺失消息 = L"字段缺失或不是非空字符串：sha256";
const std::wstring 大小消息 = L"字段缺失、不是整数或小于零：size";
const std::wstring 路径规范消息 = L"文件 path 必须是规范的相对路径。";
const std::wstring 哈希格式消息 = L"文件 sha256 必须是 64 位小写十六进制。";
const std::wstring 地址列表消息 = L"文件 downloadUrls 必须是非空数组。";
const std::wstring 地址消息 = L"downloadUrls 包含无效、非 HTTPS 或不在允许主机内的地址。";
const std::wstring 重复路径消息 = L"发布清单包含重复文件路径。";

json 有效文档() {
  return {
      {"formatVersion", 1},
      {"releaseId", "r12.3-beta_4"},
      {"files",
       json::array({
           {{"path", "bin/app.dll"},
            {"sha256", 哈希A},
            {"size", 10},
            {"downloadUrls", {"HTTPS://Mirror.Example/A?x=1", "http://" + 内容主机 + "/a"}}},
           {{"path", "Tallybell.exe"},
            {"sha256", 哈希B},
            {"size", 0},
            {"downloadUrls", {"https://mirror.example/b"}}},
       })},
  };
}

// A manifest that must not be touched by a failed parse.
发布清单 哨兵清单() {
  发布清单 清单;
  清单.formatVersion = 7;
  清单.releaseId = "sentinel";
  清单.files.push_back(发布文件{"keep", 哈希A, 3, {"https://keep.example/"}});
  return 清单;
}

void 预期失败(const std::string& 文本, const std::wstring& 期望消息) {
  发布清单 清单 = 哨兵清单();
  std::wstring 错误 = L"stale";
  EXPECT_FALSE(解析发布清单(文本, &清单, &错误));
  EXPECT_EQ(错误, 期望消息);
  EXPECT_EQ(清单.formatVersion, 7u);
  EXPECT_EQ(清单.releaseId, "sentinel");
  ASSERT_EQ(清单.files.size(), 1u);
  EXPECT_EQ(清单.files[0].path, "keep");
}

std::string 文本(const json& 文档) { return 文档.dump(); }

TEST(发布清单解析, 有效清单按文档顺序原样保留) {
  json 文档 = 有效文档();
  文档["comment"] = "ignored";
  文档["files"][0]["mode"] = json::array({1, 2});
  发布清单 清单 = 哨兵清单();
  std::wstring 错误 = L"stale";
  ASSERT_TRUE(解析发布清单(文本(文档), &清单, &错误));
  EXPECT_EQ(错误, L"");
  EXPECT_EQ(清单.formatVersion, 1u);
  EXPECT_EQ(清单.releaseId, "r12.3-beta_4");
  ASSERT_EQ(清单.files.size(), 2u);
  EXPECT_EQ(清单.files[0].path, "bin/app.dll");
  EXPECT_EQ(清单.files[0].sha256, 哈希A);
  EXPECT_EQ(清单.files[0].size, 10u);
  EXPECT_EQ(清单.files[0].downloadUrls,
            (std::vector<std::string>{"HTTPS://Mirror.Example/A?x=1", "http://" + 内容主机 + "/a"}));
  EXPECT_EQ(清单.files[1].path, "Tallybell.exe");
  EXPECT_EQ(清单.files[1].size, 0u);
}

TEST(发布清单解析, 输出为空先于一切检查) {
  std::wstring 错误;
  EXPECT_FALSE(解析发布清单("not json", nullptr, &错误));
  EXPECT_EQ(错误, L"发布清单输出参数不能为空。");
  EXPECT_FALSE(解析发布清单(文本(有效文档()), nullptr));
}

TEST(发布清单解析, JSON错误原样传递) {
  for (const std::string& 坏文本 : std::vector<std::string>{"", "{", R"({"formatVersion":1,"formatVersion":1})",
                                   R"({"formatVersion":1.0})"}) {
    Json值 值;
    std::wstring JSON消息;
    ASSERT_FALSE(Json值::解析(坏文本, &值, &JSON消息)) << 坏文本;
    ASSERT_FALSE(JSON消息.empty());
    预期失败(坏文本, JSON消息);
  }
}

TEST(发布清单解析, 根与formatVersion与releaseId) {
  预期失败("[]", L"发布清单根必须是对象。");
  预期失败("\"text\"", L"发布清单根必须是对象。");

  for (const json& 值 : {json(), json(2), json(0), json(-1), json("1"), json(true)}) {
    json 文档 = 有效文档();
    if (值.is_null()) {
      文档.erase("formatVersion");
    } else {
      文档["formatVersion"] = 值;
    }
    预期失败(文本(文档), 格式版本消息);
  }

  const std::string 最长(128, 'x');
  for (const std::string& 标识 : std::vector<std::string>{最长, std::string("r12.3-beta_4"), std::string("."),
                                 std::string(".."), std::string("A-Z_09")}) {
    json 文档 = 有效文档();
    文档["releaseId"] = 标识;
    发布清单 清单;
    EXPECT_TRUE(解析发布清单(文本(文档), &清单)) << 标识;
    EXPECT_EQ(清单.releaseId, 标识);
  }
  for (const json& 值 : {json(最长 + "x"), json(""), json("a b"), json("a/b"), json("caf\u00e9"),
                         json(std::string("a\0b", 3)), json(5), json()}) {
    json 文档 = 有效文档();
    if (值.is_null()) {
      文档.erase("releaseId");
    } else {
      文档["releaseId"] = 值;
    }
    预期失败(文本(文档), 发布标识消息);
  }
}

TEST(发布清单解析, files必须是非空对象数组) {
  for (const json& 值 : {json(), json::array(), json::object(), json("files")}) {
    json 文档 = 有效文档();
    if (值.is_null()) {
      文档.erase("files");
    } else {
      文档["files"] = 值;
    }
    预期失败(文本(文档), 文件列表消息);
  }
  // No sentence names an element that is not an object; the message must not keep what an
  // earlier call left in it.
  for (const json& 元素 : {json(1), json("bin/app.dll"), json::array(), json()}) {
    json 文档 = 有效文档();
    文档["files"][1] = 元素;
    预期失败(文本(文档), L"");
  }
}

struct 条目变更 {
  const char* 名称;
  std::function<void(json&)> 修改;
  std::wstring 消息;
};

TEST(发布清单解析, 文件条目的每条规则) {
  const std::vector<条目变更> 变更表 = {
      {"path missing", [](json& f) { f.erase("path"); }, 路径缺失消息},
      {"path empty", [](json& f) { f["path"] = ""; }, 路径缺失消息},
      {"path number", [](json& f) { f["path"] = 1; }, 路径缺失消息},
      {"path zero byte", [](json& f) { f["path"] = std::string("a\0b", 3); }, 路径缺失消息},
      {"sha256 missing", [](json& f) { f.erase("sha256"); }, 哈希缺失消息},
      {"sha256 empty", [](json& f) { f["sha256"] = ""; }, 哈希缺失消息},
      {"size missing", [](json& f) { f.erase("size"); }, 大小消息},
      {"size -1", [](json& f) { f["size"] = -1; }, 大小消息},
      {"size text", [](json& f) { f["size"] = "10"; }, 大小消息},
      {"size bool", [](json& f) { f["size"] = true; }, 大小消息},
      {"path absolute", [](json& f) { f["path"] = "/a"; }, 路径规范消息},
      {"path dotdot", [](json& f) { f["path"] = "a/../b"; }, 路径规范消息},
      {"sha256 upper", [](json& f) { f["sha256"] = std::string(64, 'A'); }, 哈希格式消息},
      {"sha256 63", [](json& f) { f["sha256"] = std::string(63, 'a'); }, 哈希格式消息},
      {"sha256 65", [](json& f) { f["sha256"] = std::string(65, 'a'); }, 哈希格式消息},
      {"sha256 g", [](json& f) { f["sha256"] = std::string(63, 'a') + "g"; }, 哈希格式消息},
      {"urls missing", [](json& f) { f.erase("downloadUrls"); }, 地址列表消息},
      {"urls empty", [](json& f) { f["downloadUrls"] = json::array(); }, 地址列表消息},
      {"urls string", [](json& f) { f["downloadUrls"] = "https://a.example/"; }, 地址列表消息},
      {"url number", [](json& f) { f["downloadUrls"] = {1}; }, 地址消息},
      {"url ftp", [](json& f) { f["downloadUrls"] = {"ftp://a.example/x"}; }, 地址消息},
      {"url plain http", [](json& f) { f["downloadUrls"] = {"http://other.example/x"}; }, 地址消息},
      {"url repeat in case",
       [](json& f) { f["downloadUrls"] = {"https://a.example/X", "HTTPS://A.EXAMPLE/x"}; },
       地址消息},
      {"second url bad",
       [](json& f) { f["downloadUrls"] = {"https://a.example/x", "https://a .example/"}; },
       地址消息},
  };
  for (const auto& 变更 : 变更表) {
    SCOPED_TRACE(变更.名称);
    json 文档 = 有效文档();
    变更.修改(文档["files"][1]);
    预期失败(文本(文档), 变更.消息);
  }
}

TEST(发布清单解析, 先检查的规则先报告) {
  const std::vector<条目变更> 变更表 = {
      // Whole-document checks before any entry.
      {"formatVersion before releaseId",
       [](json& d) { d["formatVersion"] = 2; d["releaseId"] = ""; }, 格式版本消息},
      {"releaseId before files", [](json& d) { d["releaseId"] = ""; d["files"] = 1; }, 发布标识消息},
      // Within an entry: presence of path, sha256, size, then their forms, then the URLs.
      {"sha256 presence before path form",
       [](json& d) { d["files"][0]["path"] = "/a"; d["files"][0].erase("sha256"); }, 哈希缺失消息},
      {"size before path form",
       [](json& d) { d["files"][0]["path"] = "/a"; d["files"][0]["size"] = -1; }, 大小消息},
      {"path form before sha256 form",
       [](json& d) { d["files"][0]["path"] = "a//b"; d["files"][0]["sha256"] = "x"; }, 路径规范消息},
      {"sha256 form before urls",
       [](json& d) { d["files"][0]["sha256"] = "x"; d["files"][0].erase("downloadUrls"); },
       哈希格式消息},
      // A repeated path is noticed only after the entry's own rules.
      {"urls before repeated path",
       [](json& d) {
         d["files"][1]["path"] = "BIN/App.dll";
         d["files"][1]["downloadUrls"] = {"ftp://x"};
       },
       地址消息},
      // The first bad entry decides.
      {"first entry first",
       [](json& d) { d["files"][0]["size"] = -1; d["files"][1]["path"] = "/a"; }, 大小消息},
      {"non-object before later entry",
       [](json& d) { d["files"][0] = 5; d["files"][1]["size"] = -1; }, L""},
  };
  for (const auto& 变更 : 变更表) {
    SCOPED_TRACE(变更.名称);
    json 文档 = 有效文档();
    变更.修改(文档);
    预期失败(文本(文档), 变更.消息);
  }
}

TEST(发布清单解析, 大小的边界) {
  for (const json& 值 : {json(0), json(std::uint64_t{18446744073709551615u}),
                         json(std::int64_t{9223372036854775807})}) {
    json 文档 = 有效文档();
    文档["files"][0]["size"] = 值;
    发布清单 清单;
    ASSERT_TRUE(解析发布清单(文本(文档), &清单)) << 值;
    EXPECT_EQ(清单.files[0].size, 值.get<std::uint64_t>());
  }
}

TEST(发布清单解析, 路径重复不分ASCII大小写) {
  json 文档 = 有效文档();
  文档["files"][0]["path"] = "Bin/A.dll";
  文档["files"][1]["path"] = "bin/a.dll";
  预期失败(文本(文档), 重复路径消息);

  // Only A-Z fold: other scripts' capitals are different names.
  文档["files"][0]["path"] = "\u00c4/x";
  文档["files"][1]["path"] = "\u00e4/x";
  发布清单 清单;
  EXPECT_TRUE(解析发布清单(文本(文档), &清单));
}

TEST(发布清单解析, 同一地址可出现在不同条目) {
  json 文档 = 有效文档();
  文档["files"][1]["downloadUrls"] = {"HTTPS://Mirror.Example/A?x=1"};
  发布清单 清单;
  ASSERT_TRUE(解析发布清单(文本(文档), &清单));
  EXPECT_EQ(清单.files[1].downloadUrls[0], "HTTPS://Mirror.Example/A?x=1");
}

TEST(规范相对路径, 接受与拒绝) {
  const std::string 长路径(1024, 'p');
  for (const std::string& 路径 : std::vector<std::string>{std::string("bin/app.dll"), std::string(".config/x"),
                                 std::string("a"), std::string("..a/b"), std::string("CONSOLE"),
                                 std::string("a*/b?"), std::string("\xe5\x90\x8d/\xff"), 长路径,
                                 std::string(511, 'a') + "/" + std::string(512, 'b')}) {
    EXPECT_TRUE(是规范相对路径(路径)) << 路径;
  }
  for (const std::string& 路径 : std::vector<std::string>{
           std::string(""), std::string("/a"), std::string("a/"), std::string("a//b"),
        std::string("a/./b"), std::string("a/../b"), std::string("."), std::string(".."),
        std::string("./a"), std::string("a/.."), std::string("a\\b"), std::string("C:a"),
        std::string("a\0b", 3), std::string("/"), 长路径 + "p"}) {
    EXPECT_FALSE(是规范相对路径(路径)) << 路径;
  }
}

struct 地址用例 {
  std::string 地址;
  bool 下载;
  bool 服务;
};

TEST(HTTPS地址, 两种字符形式) {
  const std::vector<地址用例> 用例表 = {
      {"https://a.example/x", true, true},
      {"HTTPS://a.example/x", true, true},
      {"hTtPs://a", true, true},
      {"https://user:pw@[::1]:8443/p?q#f", true, true},
      {"https://a.example?x", true, true},
      {"https://", false, false},
      {"https:///x", false, false},
      {"https://?x", false, false},
      {"https://#x", false, false},
      {"http://a.example/x", false, false},
      {"https:/a.example/x", false, false},
      {" https://a.example/", false, false},
      {"https://a.example/a b", false, false},
      {"https://a.example/a\\b", false, false},
      {"https://a.example/\t", false, false},
      {"https://a.example/caf\xc3\xa9", true, false},
      {"https://a.example/\x7f", true, false},
      {"https://\xe4\xbe\x8b.example/", true, false},
  };
  for (const auto& 用例 : 用例表) {
    EXPECT_EQ(是HTTPS地址(用例.地址, 地址形式::下载), 用例.下载) << 用例.地址;
    EXPECT_EQ(是HTTPS地址(用例.地址, 地址形式::服务), 用例.服务) << 用例.地址;
  }
}

TEST(内容主机地址, 只接受指定主机) {
  EXPECT_TRUE(是内容主机地址("http://" + 内容主机 + "/objects/x"));
  EXPECT_TRUE(是内容主机地址("http://" + 内容主机));
  EXPECT_TRUE(是内容主机地址("HTTP://" + 转ASCII小写(内容主机) + "?q"));
  std::string 大写主机 = 内容主机;
  for (char& c : 大写主机) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  EXPECT_TRUE(是内容主机地址("http://" + 大写主机 + "#f"));

  for (const std::string& 地址 : std::vector<std::string>{
           "http://" + 内容主机 + ":80/x",
           "http://user@" + 内容主机 + "/x",
           "http://other.example/x",
           "http://" + 内容主机 + ".evil.example/x",
           "https://" + 内容主机 + "/x",
           "http://",
           "http:///x",
           "http://" + 内容主机 + "/a b",
           "http://" + 内容主机 + "/a\\b",
           "http://" + 内容主机 + "/caf\xc3\xa9",
       }) {
    EXPECT_FALSE(是内容主机地址(地址)) << 地址;
  }
}

TEST(发布清单解析, 下载地址的两条路) {
  // The download form admits raw non-ASCII bytes; the content host only plain ASCII.
  json 文档 = 有效文档();
  文档["files"][0]["downloadUrls"] = {"https://a.example/caf\u00e9",
                                      "http://" + 内容主机 + "/x"};
  发布清单 清单;
  EXPECT_TRUE(解析发布清单(文本(文档), &清单));
  文档["files"][0]["downloadUrls"] = {"http://" + 内容主机 + ":8080/x"};
  预期失败(文本(文档), 地址消息);
}

}  // namespace
}  // namespace tallybell
