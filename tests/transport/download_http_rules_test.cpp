#include "transport/download_http_rules.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/text.h"

namespace tallybell {
namespace {

const std::wstring 内容主机 = 逐字节加宽(TALLYBELL_CONTENT_HOST);

TEST(下载客户端地址规则, 请求地址只许HTTPS与明文指定内容主机到达地址还须合乎下载地址规则) {
  struct 用例 {
    std::wstring 地址;
    bool 可请求;
    bool 可到达;
  };
  const std::vector<用例> 用例表 = {
      {L"https://cdn.example/objects/a", true, true},
      {L"HTTPS://cdn.example:8443/a?b#c", true, true},
      {L"http://" + 内容主机 + L"/objects/a", true, true},
      {L"HTTP://" + 内容主机, true, true},
      // The content host with a port passes the content rule, not the download URL rule.
      {L"http://" + 内容主机 + L":8080/a", true, false},
      {L"http://" + 内容主机 + L".attacker.example/a", false, false},
      {L"http://127.0.0.1/a", false, false},
      {L"ftp://cdn.example/a", false, false},
      {L"https:///a", false, false},
      {L"https://cdn.example/a b", true, false},
      {L"", false, false},
  };
  for (const auto& 项 : 用例表) {
    SCOPED_TRACE(testing::PrintToString(项.地址));
    EXPECT_EQ(下载内容地址允许(项.地址), 项.可请求);
    EXPECT_EQ(下载到达地址允许(项.地址), 项.可到达);
  }
}

TEST(下载客户端地址规则, 连接之前的检查要求两个回调与允许的地址) {
  下载请求 请求;
  请求.url = L"https://cdn.example/o?x=1#frag";
  const 下载响应回调 响应回调 = [](const 下载响应&, std::wstring*) { return true; };
  const 下载数据回调 数据回调 = [](const unsigned char*, std::uint64_t, std::wstring*) { return true; };
  std::wstring 错误;
  ASSERT_TRUE(检查下载请求(请求, 响应回调, 数据回调, &错误));

  EXPECT_FALSE(检查下载请求(请求, {}, 数据回调, &错误));
  EXPECT_EQ(错误, 下载HTTP消息::参数或地址无效);
  错误.clear();
  EXPECT_FALSE(检查下载请求(请求, 响应回调, {}, &错误));
  EXPECT_EQ(错误, 下载HTTP消息::参数或地址无效);
  请求.url = L"http://cdn.example/o";
  错误.clear();
  EXPECT_FALSE(检查下载请求(请求, 响应回调, 数据回调, &错误));
  EXPECT_EQ(错误, 下载HTTP消息::参数或地址无效);
  请求.url = L"https://cdn.example:99999/o";
  EXPECT_FALSE(检查下载请求(请求, 响应回调, 数据回调, &错误));
  EXPECT_EQ(错误, 下载HTTP消息::无法解析地址);
  EXPECT_FALSE(检查下载请求(请求, 响应回调, 数据回调, nullptr));
}

TEST(下载头数字, 前导空白与加号可有负号尾随字符与溢出不可) {
  struct 用例 {
    std::wstring 文本;
    bool 有效;
    std::uint64_t 值;
  };
  const std::vector<用例> 用例表 = {
      {L"0", true, 0},
      {L"12345", true, 12345},
      {L" \t42", true, 42},
      {L"+7", true, 7},
      {L"18446744073709551615", true, 18446744073709551615u},
      {L"18446744073709551616", false, 0},
      {L"99999999999999999999", false, 0},
      {L"", false, 0},
      {L"  ", false, 0},
      {L"+", false, 0},
      {L"-1", false, 0},
      {L"-0", false, 0},
      {L"12 ", false, 0},
      {L"1a", false, 0},
      {L"0x10", false, 0},
      {L"１２", false, 0},  // full-width digits
  };
  for (const auto& 项 : 用例表) {
    SCOPED_TRACE(testing::PrintToString(项.文本));
    std::uint64_t 值 = 99;
    EXPECT_EQ(解析下载头数字(项.文本, &值), 项.有效);
    EXPECT_EQ(值, 项.有效 ? 项.值 : 99u);
  }
}

TEST(ContentRange, 首末与全长必须有序全长不可为星号) {
  struct 用例 {
    std::wstring 值;
    bool 有效;
    std::uint64_t 起点;
    std::uint64_t 总长;
  };
  const std::vector<用例> 用例表 = {
      {L"bytes 0-99/100", true, 0, 100},
      {L"bytes 100-199/1000", true, 100, 1000},
      {L"bytes 5-5/6", true, 5, 6},
      {L"bytes 0-18446744073709551614/18446744073709551615", true, 0, 18446744073709551615u},
      {L"bytes 0-99/*", false, 0, 0},
      {L"bytes */100", false, 0, 0},
      {L"bytes 5-4/10", false, 0, 0},
      {L"bytes 0-10/10", false, 0, 0},
      {L"bytes 0-9/10*", false, 0, 0},
      {L"Bytes 0-9/10", false, 0, 0},
      {L"bytes=0-9/10", false, 0, 0},
      {L"bytes 0-9", false, 0, 0},
      {L"bytes 0/9-10", false, 0, 0},
      {L"bytes -5-9/10", false, 0, 0},
      {L"bytes 0--9/10", false, 0, 0},
      {L"bytes 0-9/", false, 0, 0},
      {L"bytes 0-9/1x", false, 0, 0},
      {L"", false, 0, 0},
  };
  for (const auto& 项 : 用例表) {
    SCOPED_TRACE(testing::PrintToString(项.值));
    std::uint64_t 起点 = 7;
    std::uint64_t 总长 = 7;
    EXPECT_EQ(解析ContentRange(项.值, &起点, &总长), 项.有效);
    EXPECT_EQ(起点, 项.有效 ? 项.起点 : 7u);
    EXPECT_EQ(总长, 项.有效 ? 项.总长 : 7u);
  }
}

TEST(下载响应头, 长度范围与AcceptRanges按原始值读入无效值各有其消息) {
  下载原始响应头 原始;
  原始.contentLength = L"900";
  原始.contentRange = L"bytes 100-999/1000";
  原始.acceptRanges = L"Bytes";
  下载响应 响应;
  std::wstring 错误 = L"stale";
  ASSERT_TRUE(构建下载响应头(206, L"https://cdn.example/o", 原始, &响应, &错误));
  EXPECT_EQ(响应.statusCode, 206u);
  EXPECT_EQ(响应.finalUrl, L"https://cdn.example/o");
  EXPECT_TRUE(响应.hasContentLength);
  EXPECT_EQ(响应.contentLength, 900u);
  EXPECT_TRUE(响应.hasContentRange);
  EXPECT_EQ(响应.rangeStart, 100u);
  EXPECT_EQ(响应.rangeTotal, 1000u);
  EXPECT_TRUE(响应.acceptsByteRanges);

  ASSERT_TRUE(构建下载响应头(404, L"https://cdn.example/o", 下载原始响应头{}, &响应, &错误));
  EXPECT_EQ(响应.statusCode, 404u);
  EXPECT_FALSE(响应.hasContentLength || 响应.hasContentRange || 响应.acceptsByteRanges);
  原始 = {};
  for (const wchar_t* 值 : {L"bytes, none", L"bytes ", L"none"}) {
    原始.acceptRanges = 值;
    ASSERT_TRUE(构建下载响应头(200, L"https://cdn.example/o", 原始, &响应, &错误));
    EXPECT_FALSE(响应.acceptsByteRanges) << testing::PrintToString(std::wstring(值));
  }

  struct 失败用例 {
    下载原始响应头 原始;
    std::wstring 最终地址;
    const wchar_t* 消息;
  };
  const std::vector<失败用例> 失败表 = {
      {{L"", std::nullopt, std::nullopt}, L"https://cdn.example/o", 下载HTTP消息::ContentLength无效},
      {{L"-1", std::nullopt, std::nullopt}, L"https://cdn.example/o", 下载HTTP消息::ContentLength无效},
      {{std::nullopt, L"bytes 0-99/*", std::nullopt}, L"https://cdn.example/o", 下载HTTP消息::ContentRange无效},
      {{}, L"http://mirror.example/o", 下载HTTP消息::最终地址不在允许地址内},
      {{}, L"http://" + 内容主机 + L":81/o", 下载HTTP消息::最终地址不在允许地址内},
  };
  for (const auto& 项 : 失败表) {
    SCOPED_TRACE(testing::PrintToString(项.最终地址));
    下载响应 未动;
    未动.statusCode = 7;
    EXPECT_FALSE(构建下载响应头(200, 项.最终地址, 项.原始, &未动, &错误));
    EXPECT_EQ(错误, 项.消息);
    EXPECT_EQ(未动.statusCode, 7u);
  }
}

}  // namespace
}  // namespace tallybell
