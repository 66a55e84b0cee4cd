// The CNG SHA-256 engine against published vectors and a digest computed elsewhere.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/sha256_engine.h"

namespace tallybell::platform {
namespace {

std::string 十六进制(const unsigned char (&摘要)[32]) {
  static const char 数字[] = "0123456789abcdef";
  std::string 文本;
  for (unsigned char 字节 : 摘要) {
    文本 += 数字[字节 >> 4];
    文本 += 数字[字节 & 0x0F];
  }
  return 文本;
}

// Feeds 数据 in pieces of 片长 bytes and returns the hexadecimal digest, or "<failed>".
std::string 摘要(const std::string& 数据, std::size_t 片长) {
  SHA256引擎 引擎;
  if (!引擎.开始()) return "<failed>";
  for (std::size_t 位置 = 0; 位置 < 数据.size(); 位置 += 片长) {
    if (!引擎.更新(数据.data() + 位置, std::min(片长, 数据.size() - 位置))) return "<failed>";
  }
  unsigned char 结果[32] = {};
  if (!引擎.完成(结果)) return "<failed>";
  return 十六进制(结果);
}

TEST(WindowsSha256, KnownVectors) {
  // FIPS 180-4 examples, and 1 MiB of 'a' as computed by Python's hashlib.
  EXPECT_EQ(摘要("abc", 64), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(摘要("", 64), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(摘要("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", 64),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  const std::string 一兆(1048576, 'a');
  EXPECT_EQ(摘要(一兆, 一兆.size()), "9bc1b2a288b26af7257a36277ae3816a7d4f16e89c1e7e77d0a5c48bad62b360");
  // Piece boundaries do not matter, including ones that split the 64-byte blocks.
  EXPECT_EQ(摘要(一兆, 1000), "9bc1b2a288b26af7257a36277ae3816a7d4f16e89c1e7e77d0a5c48bad62b360");
}

TEST(WindowsSha256, EmptyPiecesAndNullDataOfLengthZero) {
  SHA256引擎 引擎;
  ASSERT_TRUE(引擎.开始());
  EXPECT_TRUE(引擎.更新(nullptr, 0));
  EXPECT_TRUE(引擎.更新("abc", 3));
  EXPECT_TRUE(引擎.更新(nullptr, 0));
  unsigned char 结果[32] = {};
  ASSERT_TRUE(引擎.完成(结果));
  EXPECT_EQ(十六进制(结果), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(WindowsSha256, EngineMustBeStartedAndRestartedForReuse) {
  SHA256引擎 引擎;
  unsigned char 结果[32] = {};
  EXPECT_FALSE(引擎.更新("abc", 3));
  EXPECT_FALSE(引擎.完成(结果));

  ASSERT_TRUE(引擎.开始());
  ASSERT_TRUE(引擎.更新("stale", 5));
  ASSERT_TRUE(引擎.开始());  // starting again discards what was hashed so far
  ASSERT_TRUE(引擎.更新("abc", 3));
  ASSERT_TRUE(引擎.完成(结果));
  EXPECT_EQ(十六进制(结果), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");

  EXPECT_FALSE(引擎.更新("abc", 3));
  EXPECT_FALSE(引擎.完成(结果));
  ASSERT_TRUE(引擎.开始());
  ASSERT_TRUE(引擎.完成(结果));
  EXPECT_EQ(十六进制(结果), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

TEST(WindowsSha256, PiecesAbove32BitsAreRefusedBeforeTheDataIsTouched) {
  SHA256引擎 引擎;
  ASSERT_TRUE(引擎.开始());
  const std::size_t 过长 = static_cast<std::size_t>(UINT32_MAX) + 1;
  EXPECT_FALSE(引擎.更新(nullptr, 过长));
}

}  // namespace
}  // namespace tallybell::platform
