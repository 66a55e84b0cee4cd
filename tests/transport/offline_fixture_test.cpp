#include "transport/offline_fixture.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/fault_injection.h"
#include "support/file_helpers.h"
#include "support/temp_dir.h"

namespace tallybell {
namespace {

namespace fs = std::filesystem;
using 测试::读测试文件;
using 测试::写测试文件;

const std::wstring 解析地址 = L"https://updates.example/update/v1/resolve";
const std::wstring 结果地址 = L"https://updates.example/update/v1/results";
const std::string 哈希 = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";
const std::wstring 宽哈希(哈希.begin(), 哈希.end());

const std::wstring 路由消息 = L"离线更新夹具不支持该 HTTP 路由。";
const std::wstring 结果写入消息 = L"无法写入离线结果回报夹具。";
const std::wstring 清单地址消息 = L"离线发布清单地址无效。";
const std::wstring JSON读取消息 = L"无法读取离线更新 JSON 夹具。";
const std::wstring 对象请求消息 = L"离线对象请求无效。";
const std::wstring 对象断点消息 = L"离线对象夹具大小或断点无效。";
const std::wstring 对象读取消息 = L"读取离线对象夹具失败。";

std::string 对象内容(std::size_t 大小) {
  std::string 内容(大小, '\0');
  for (std::size_t i = 0; i < 大小; ++i) 内容[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return 内容;
}

// What a download handed to its two callbacks.
struct 下载记录 {
  int 响应次数 = 0;
  下载响应 头;
  std::vector<std::uint64_t> 块长度;
  std::string 正文;
};

class 离线夹具 : public ::testing::Test {
 protected:
  void 写(const std::string& 相对路径, const std::string& 内容) { 写测试文件(目录_.子路径(相对路径), 内容); }
  std::string 读(const std::string& 相对路径) const { return 读测试文件(目录_.子路径(相对路径)); }
  bool 存在(const std::string& 相对路径) const { return fs::exists(目录_.子路径(相对路径)); }

  bool 发送(const std::wstring& 方法, const std::wstring& 地址, const std::string& 正文 = {},
            std::uint64_t 上限 = 1048576) {
    JsonHttp请求 请求;
    请求.method = 方法;
    请求.url = 地址;
    请求.body = 正文;
    请求.maxResponseBytes = 上限;
    响应_ = JsonHttp响应{7, L"untouched", "untouched"};
    错误_ = L"stale";
    return 传输_.发送(请求, &响应_, &错误_);
  }

  void 预期JSON回答(const std::string& 正文, const std::wstring& 地址) {
    EXPECT_EQ(错误_, L"");
    EXPECT_EQ(响应_.statusCode, 200u);
    EXPECT_EQ(响应_.finalUrl, 地址);
    EXPECT_EQ(响应_.body, 正文);
  }

  void 预期失败(const std::wstring& 消息) {
    EXPECT_EQ(错误_, 消息);
    EXPECT_EQ(响应_.statusCode, 7u);
    EXPECT_EQ(响应_.body, "untouched");
  }

  bool 下载(const std::wstring& 地址, std::uint64_t 起点, 下载记录* 记录) {
    下载请求 请求;
    请求.url = 地址;
    请求.rangeStart = 起点;
    错误_ = L"stale";
    return 传输_.下载(
        请求,
        [记录](const 下载响应& 头, std::wstring*) {
          ++记录->响应次数;
          记录->头 = 头;
          return true;
        },
        [记录](const unsigned char* 数据, std::uint64_t 长度, std::wstring*) {
          记录->块长度.push_back(长度);
          记录->正文.append(reinterpret_cast<const char*>(数据), static_cast<std::size_t>(长度));
          return true;
        },
        &错误_);
  }

  测试::测试临时目录 目录_;
  离线更新夹具传输 传输_{目录_.宽路径()};
  JsonHttp响应 响应_;
  std::wstring 错误_;
};

TEST(离线夹具地址, 清单地址的发布标识) {
  const std::wstring 前缀 = L"https://h/releases/";
  struct 用例 {
    std::wstring 地址;
    std::wstring 标识;  // empty: none
  };
  const 用例 表[] = {
      {前缀 + L"r1/manifest.json", L"r1"},
      {L"http://c/x/releases/A-z_0.9/manifest.json", L"A-z_0.9"},
      {前缀 + std::wstring(64, L'r') + L"/manifest.json", std::wstring(64, L'r')},
      {前缀 + std::wstring(65, L'r') + L"/manifest.json", L""},
      {前缀 + L"r1/manifest.json?x=1", L""},
      {前缀 + L"r1/manifest.json#f", L""},
      {前缀 + L"r1/sub/manifest.json", L""},
      {前缀 + L"r1/Manifest.json", L""},
      {前缀 + L"/manifest.json", L""},
      {前缀 + L"r 1/manifest.json", L""},
      {前缀 + L"../manifest.json", L""},
      {前缀 + L"./manifest.json", L""},
      {前缀 + L"r1", L""},
      {L"https://h/release/r1/manifest.json", L""},
  };
  for (const 用例& 项 : 表) {
    std::wstring 标识 = L"sentinel";
    EXPECT_EQ(取清单地址发布标识(项.地址, &标识), !项.标识.empty())
        << std::string(项.地址.begin(), 项.地址.end());
    EXPECT_EQ(标识, 项.标识.empty() ? L"sentinel" : 项.标识);
  }
}

TEST(离线夹具地址, 下载地址的对象哈希) {
  std::wstring 大写哈希 = 宽哈希;
  for (wchar_t& 字符 : 大写哈希) {
    if (字符 >= L'a' && 字符 <= L'f') 字符 = static_cast<wchar_t>(字符 - L'a' + L'A');
  }
  struct 用例 {
    std::wstring 地址;
    bool 有哈希;
  };
  const 用例 表[] = {
      {L"https://h/objects/" + 宽哈希 + L".object", true},
      {L"https://h/" + 宽哈希, true},
      {L"https://h/o/" + 宽哈希 + L".object?sig=a/b#c", true},
      {L"x/" + 宽哈希 + L"#/other", true},
      {L"https://h/" + 大写哈希 + L".object", false},
      {L"https://h/" + 宽哈希 + L".OBJECT", false},
      {L"https://h/" + 宽哈希 + L".part", false},
      {L"https://h/" + 宽哈希.substr(1) + L".object", false},
      {L"https://h/" + 宽哈希 + L"0", false},
      {L"https://h/" + 宽哈希 + L"/", false},
      {L"https://h/.object", false},
      {宽哈希, false},
  };
  for (const 用例& 项 : 表) {
    std::wstring 结果 = L"sentinel";
    EXPECT_EQ(取下载地址对象哈希(项.地址, &结果), 项.有哈希) << std::string(项.地址.begin(), 项.地址.end());
    EXPECT_EQ(结果, 项.有哈希 ? 宽哈希 : L"sentinel");
  }
}

TEST_F(离线夹具, 回答大小上限与参数) {
  写("policy.json", "12345");
  ASSERT_TRUE(发送(L"POST", 解析地址, {}, 5));
  预期JSON回答("12345", 解析地址);
  EXPECT_FALSE(发送(L"POST", 解析地址, {}, 4));
  预期失败(L"离线更新 JSON 夹具超过大小上限。");

  // Above the whole-file read limit a fixture counts as unreadable, so the fallback answers.
  写("default-policy.json", "fallback");
  fs::resize_file(目录_.子路径("policy.json"), 67108865);
  ASSERT_TRUE(发送(L"POST", 解析地址));
  预期JSON回答("fallback", 解析地址);

  for (const wchar_t* 方法 : {L"PUT", L"DELETE", L"HEAD"}) {
    EXPECT_FALSE(发送(方法, 解析地址));
    预期失败(路由消息);
  }
  EXPECT_FALSE(发送(L"POST", 解析地址 + L"/extra"));
  预期失败(路由消息);

  JsonHttp请求 请求;
  请求.method = L"POST";
  请求.url = 解析地址;
  请求.maxResponseBytes = 100;
  std::wstring 错误 = L"stale";
  EXPECT_FALSE(传输_.发送(请求, nullptr, &错误));
  EXPECT_EQ(错误, L"离线更新夹具参数无效。");
  离线更新夹具传输 无目录;
  JsonHttp响应 响应;
  EXPECT_FALSE(无目录.发送(请求, &响应, &错误));
  EXPECT_EQ(错误, L"离线更新夹具参数无效。");
  EXPECT_TRUE(传输_.发送(请求, &响应, nullptr));
}

TEST_F(离线夹具, 无法整读的结果文件不被替换) {
  // Larger than a whole-file read allows: the recorded lines must survive.
  写("reported-results.ndjson", "{\"n\":1}\n");
  fs::resize_file(目录_.子路径("reported-results.ndjson"), 67108865);
  EXPECT_FALSE(发送(L"POST", 结果地址, "{\"n\":2}"));
  预期失败(结果写入消息);
  EXPECT_EQ(fs::file_size(目录_.子路径("reported-results.ndjson")), 67108865u);
  EXPECT_FALSE(存在("reported-results.ndjson.bak"));

  写("reported-results.ndjson", "{\"n\":1}\n");
  {
    测试::文件故障注入 读取失败("读取");
    EXPECT_FALSE(发送(L"POST", 结果地址, "{\"n\":2}"));
    EXPECT_TRUE(读取失败.已注入());
  }
  预期失败(结果写入消息);
  EXPECT_EQ(读("reported-results.ndjson"), "{\"n\":1}\n");

  // An attribute query that fails without saying "not found" cannot prove absence.
  fs::remove(目录_.子路径("reported-results.ndjson"));
  {
    测试::文件故障注入 查询失败("查询");
    EXPECT_FALSE(发送(L"POST", 结果地址, "{\"n\":2}"));
    EXPECT_TRUE(查询失败.已注入());
  }
  预期失败(结果写入消息);
  EXPECT_FALSE(存在("reported-results.ndjson"));
}

TEST_F(离线夹具, 断点续传的范围) {
  const std::string 内容 = 对象内容(1000);
  写("objects/" + 哈希 + ".object", 内容);
  const std::wstring 地址 = L"https://h/" + 宽哈希 + L".object";

  下载记录 中间;
  ASSERT_TRUE(下载(地址, 400, &中间));
  EXPECT_EQ(中间.头.statusCode, 206u);
  EXPECT_EQ(中间.头.contentLength, 600u);
  EXPECT_TRUE(中间.头.hasContentRange);
  EXPECT_EQ(中间.头.rangeStart, 400u);
  EXPECT_EQ(中间.头.rangeTotal, 1000u);
  EXPECT_TRUE(中间.头.acceptsByteRanges);
  EXPECT_TRUE(中间.正文 == 内容.substr(400));

  下载记录 末尾;
  ASSERT_TRUE(下载(地址, 1000, &末尾));
  EXPECT_EQ(错误_, L"");
  EXPECT_EQ(末尾.头.statusCode, 206u);
  EXPECT_TRUE(末尾.头.hasContentLength);
  EXPECT_EQ(末尾.头.contentLength, 0u);
  EXPECT_EQ(末尾.头.rangeTotal, 1000u);
  EXPECT_TRUE(末尾.块长度.empty());

  下载记录 越界;
  EXPECT_FALSE(下载(地址, 1001, &越界));
  EXPECT_EQ(错误_, 对象断点消息);
  EXPECT_EQ(越界.响应次数, 0);
}

}  // namespace
}  // namespace tallybell
