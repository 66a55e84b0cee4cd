#include "documents/sha256.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/file_system.h"
#include "support/fault_injection.h"
#include "support/file_helpers.h"
#include "support/temp_dir.h"

namespace tallybell {
namespace {

const std::string 空输入摘要 = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
const std::string abc摘要 = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

std::string 数据摘要(const std::string& 数据) {
  unsigned char 摘要[SHA256字节数];
  std::wstring 错误 = L"stale";
  EXPECT_TRUE(计算数据SHA256(数据.data(), 数据.size(), 摘要, &错误));
  EXPECT_EQ(错误, L"");
  return 转小写十六进制(摘要);
}

std::string 文件摘要(const std::wstring& 路径) {
  unsigned char 摘要[SHA256字节数];
  std::wstring 错误 = L"stale";
  EXPECT_TRUE(计算文件SHA256(路径, 摘要, &错误));
  EXPECT_EQ(错误, L"");
  return 转小写十六进制(摘要);
}

// Counts the reads of the file digest and the capacity each one asked for.
struct 读取记录 {
  static inline int 次数 = 0;
  static inline std::size_t 最大容量 = 0;
  static inline std::size_t 已读总数 = 0;
  static bool 读取(platform::原生文件 文件, void* 缓冲, std::size_t 容量, std::size_t* 已读) {
    ++次数;
    if (容量 > 最大容量) 最大容量 = 容量;
    const bool 成功 = platform::系统文件调用表().读取(文件, 缓冲, 容量, 已读);
    if (成功) 已读总数 += *已读;
    return 成功;
  }
};

class 记录读取 {
 public:
  记录读取() {
    读取记录::次数 = 0;
    读取记录::最大容量 = 0;
    读取记录::已读总数 = 0;
    platform::文件调用().读取 = 读取记录::读取;
  }
  ~记录读取() { platform::文件调用() = platform::系统文件调用表(); }
};

TEST(SHA256, 已知摘要) {
  EXPECT_EQ(数据摘要(""), 空输入摘要);
  EXPECT_EQ(数据摘要("abc"), abc摘要);
  EXPECT_EQ(数据摘要("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(数据摘要(std::string(1000000, 'a')),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(SHA256, 数据参数) {
  unsigned char 摘要[SHA256字节数];
  std::wstring 错误 = L"stale";
  EXPECT_TRUE(计算数据SHA256(nullptr, 0, 摘要, &错误));
  EXPECT_EQ(错误, L"");
  EXPECT_EQ(转小写十六进制(摘要), 空输入摘要);

  EXPECT_FALSE(计算数据SHA256(nullptr, 1, 摘要, &错误));
  EXPECT_EQ(错误, L"SHA-256 数据参数无效。");
  错误.clear();
  EXPECT_FALSE(计算数据SHA256("abc", 3, nullptr, &错误));
  EXPECT_EQ(错误, L"SHA-256 数据参数无效。");
  错误.clear();
  // The size is refused before any byte is read, so the pointer need not cover it.
  EXPECT_FALSE(计算数据SHA256("abc", 4294967296ull, 摘要, &错误));
  EXPECT_EQ(错误, L"SHA-256 数据参数无效。");
  EXPECT_FALSE(计算数据SHA256(nullptr, 1, 摘要));
}

TEST(SHA256, 十六进制形式) {
  unsigned char 摘要[SHA256字节数] = {};
  for (std::size_t i = 0; i < SHA256字节数; ++i) 摘要[i] = static_cast<unsigned char>(i * 8 + 7);
  摘要[0] = 0x0A;
  摘要[31] = 0xFF;
  const std::string 文本 = 转小写十六进制(摘要);
  ASSERT_EQ(文本.size(), 64u);
  EXPECT_EQ(文本.substr(0, 4), "0a0f");
  EXPECT_EQ(文本.substr(60), "f7ff");
  EXPECT_EQ(文本.find_first_not_of("0123456789abcdef"), std::string::npos);
  // Digests are compared as text, so the uppercase form of the same digest never matches.
  EXPECT_NE(数据摘要("abc"), "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD");
}

TEST(SHA256, 文件按1MiB读取) {
  测试::测试临时目录 目录;
  struct 用例 {
    const char* 名称;
    std::size_t 大小;
    int 读取次数;
  };
  const 用例 用例表[] = {
      {"empty", 0, 1},            // one read that returns 0 bytes
      {"small", 3, 2},
      {"exact", 1048576, 2},      // one full read, then one read of 0 bytes
      {"larger", 1048576 * 2 + 5, 4},
  };
  for (const 用例& 例 : 用例表) {
    std::string 内容(例.大小, '\0');
    for (std::size_t i = 0; i < 内容.size(); ++i) 内容[i] = static_cast<char>(i * 31 + 7);
    if (例.大小 == 3) 内容 = "abc";
    测试::写测试文件(目录.子路径(例.名称), 内容);

    std::string 结果;
    {
      记录读取 记录;
      结果 = 文件摘要(目录.宽路径(例.名称));
      EXPECT_EQ(读取记录::次数, 例.读取次数) << 例.名称;
      EXPECT_EQ(读取记录::最大容量, 1048576u) << 例.名称;
      EXPECT_EQ(读取记录::已读总数, 例.大小) << 例.名称;
    }
    EXPECT_EQ(结果, 数据摘要(内容)) << 例.名称;
  }
}

TEST(SHA256, 文件失败) {
  测试::测试临时目录 目录;
  unsigned char 摘要[SHA256字节数];
  std::wstring 错误;
  EXPECT_FALSE(计算文件SHA256(目录.宽路径("missing"), 摘要, &错误));
  EXPECT_EQ(错误, L"无法打开待计算 SHA-256 的文件。");
  错误.clear();
  EXPECT_FALSE(计算文件SHA256(L"", 摘要, &错误));
  EXPECT_EQ(错误, L"SHA-256 输入参数无效。");
  错误.clear();
  测试::写测试文件(目录.子路径("file"), "data");
  EXPECT_FALSE(计算文件SHA256(目录.宽路径("file"), nullptr, &错误));
  EXPECT_EQ(错误, L"SHA-256 输入参数无效。");
  {
    测试::文件故障注入 故障("读取");
    EXPECT_FALSE(计算文件SHA256(目录.宽路径("file"), 摘要, &错误));
    EXPECT_TRUE(故障.已注入());
  }
  EXPECT_EQ(错误, L"计算文件 SHA-256 失败。");
  EXPECT_FALSE(计算文件SHA256(目录.宽路径("missing"), 摘要));
}

}  // namespace
}  // namespace tallybell
