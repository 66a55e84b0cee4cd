// What a download leaves behind when the server misbehaves, and that the next run resumes
// from there to a verified object.
#include <gtest/gtest.h>

#include "download/download_test_support.h"

namespace tallybell {
namespace {

namespace fs = std::filesystem;
using namespace 测试;

constexpr std::uint64_t 已有 = 4000;  // bytes an earlier, interrupted run left in .part

struct 故障用例 {
  const char* 名称;
  std::function<void(传输脚本&, std::uint64_t 大小)> 行为;
  const char* 最近错误;
  std::uint64_t 之后部分;  // .part size (and checkpoint downloaded) afterwards
};

std::vector<故障用例> 故障表() {
  const char* 响应无效 = "下载响应状态或 Content-Range 无效。";
  return {
      {"body cut off, then the connection resets", [](auto& 步, auto) { 步.结束于 = 8000; }, "连接被重置。", 8000},
      {"200 to a range request, cut off", [](auto& 步, auto) { 步.忽略范围 = true; 步.结束于 = 6000; },
       "连接被重置。", 6000},
      {"206 starting elsewhere", [](auto& 步, auto) { 步.范围起点 = 3000; }, 响应无效, 已有},
      {"206 with a wrong total", [](auto& 步, auto 大小) { 步.范围总长 = 大小 + 1; }, 响应无效, 已有},
      {"206 with an unsatisfied range (*)", [](auto& 步, auto) { 步.无效范围 = true; }, 响应无效, 已有},
      {"206 Content-Length beyond the rest", [](auto& 步, auto 大小) { 步.声明长度 = 大小 - 已有 + 1; },
       "断点响应 Content-Length 超出剩余大小。", 已有},
      {"200 Content-Length beyond the object", [](auto& 步, auto 大小) { 步.忽略范围 = true; 步.声明长度 = 大小 + 1; },
       "完整响应 Content-Length 与目标大小不符。", 已有},
      {"body longer than the object", [](auto& 步, auto) { 步.无声明长度 = true; 步.附加正文 = std::string(100, 'x'); },
       "下载正文超过声明大小。", 12000},
      {"redirect to a refused address", [](auto& 步, auto) { 步.最终地址 = L"http://mirror.example/o"; },
       "下载最终地址不在允许地址内。", 已有},
      {"503", [](auto& 步, auto) { 步.状态码 = 503; }, 响应无效, 已有},
      {"wrong hash for a complete body", [](auto& 步, auto) { 步.损坏 = true; }, "下载对象 SHA-256 不匹配。", 0},
      {"connection refused", [](auto& 步, auto) { 步.连接失败 = L"无法连接到下载服务器。"; }, "无法连接到下载服务器。", 已有},
  };
}

TEST_F(下载任务测试, 服务端故障表每项保留正确的断点并可续传完成) {
  for (const auto& 用例 : 故障表()) {
    SCOPED_TRACE(用例.名称);
    fs::remove_all(缓存());
    写部分(已有);
    写断点(已有, 1, 0, "earlier");
    std::vector<传输脚本> 脚本(1);
    用例.行为(脚本[0], 对象_.size());
    脚本下载传输 传输(对象_, 脚本);
    const 运行结果 结果 = 运行(传输);
    EXPECT_FALSE(结果.成功);
    EXPECT_EQ(结果.消息, L"所有下载线路均失败，断点已保留。");
    ASSERT_EQ(传输.请求.size(), 1u);
    EXPECT_EQ(传输.请求[0].rangeStart, 已有);
    EXPECT_EQ(结果.结果.retryCount, 2u);
    EXPECT_EQ(结果.结果.downloadedSize, 0u);
    EXPECT_FALSE(fs::exists(文件(".object")));

    EXPECT_EQ(部分(), 对象_.substr(0, static_cast<std::size_t>(用例.之后部分)));
    const 断点视图 断点 = 读断点();
    EXPECT_EQ(断点.lastError, 用例.最近错误);
    EXPECT_EQ(断点.downloaded, 用例.之后部分);
    EXPECT_EQ(断点.retryCount, 2u);
    EXPECT_EQ(断点.urlIndex, 0u);

    续传完成(用例.之后部分);
  }
}

}  // namespace
}  // namespace tallybell
