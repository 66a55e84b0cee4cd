#include "diagnostics/channel.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tallybell {
namespace {

constexpr std::size_t 容量 = 诊断文本容量;

// A plain buffer with the channel's layout, as the application creates it (all zero).
class 诊断缓冲 {
 public:
  诊断缓冲() : 字节_(platform::诊断视图字节数, 0) {}

  unsigned char* 视图() { return 字节_.data(); }
  const std::vector<unsigned char>& 全部() const { return 字节_; }
  std::uint32_t 已用() const { return 读(0); }
  std::uint32_t 截断() const { return 读(4); }
  std::string 文本() const { return std::string(字节_.begin() + 8, 字节_.begin() + 8 + 已用()); }

  // Puts 文本 in the buffer as if earlier writers had appended it.
  void 预置(const std::string& 文本, std::uint32_t 截断标志 = 0) {
    写(0, static_cast<std::uint32_t>(文本.size()));
    写(4, 截断标志);
    std::copy(文本.begin(), 文本.end(), 字节_.begin() + 8);
  }
  void 写(std::size_t 偏移, std::uint32_t 值) {
    for (int i = 0; i < 4; ++i) 字节_[偏移 + i] = static_cast<unsigned char>(值 >> (8 * i));
  }
  bool 追加(const std::string& 文本) { return 追加到诊断视图(视图(), 文本.data(), 文本.size()); }

 private:
  std::uint32_t 读(std::size_t 偏移) const {
    return static_cast<std::uint32_t>(字节_[偏移]) | static_cast<std::uint32_t>(字节_[偏移 + 1]) << 8 |
           static_cast<std::uint32_t>(字节_[偏移 + 2]) << 16 |
           static_cast<std::uint32_t>(字节_[偏移 + 3]) << 24;
  }
  std::vector<unsigned char> 字节_;
};

// Distinct ASCII bytes so that a shifted buffer shows where it was cut.
std::string 图案(std::size_t 长度, char 起始 = 'a') {
  std::string 文本(长度, ' ');
  for (std::size_t i = 0; i < 长度; ++i) 文本[i] = static_cast<char>(起始 + i % 23);
  return 文本;
}

TEST(DiagnosticChannelAppend, AppendsInOrderWithLittleEndianHeader) {
  诊断缓冲 缓冲;
  ASSERT_TRUE(缓冲.追加("abc"));
  ASSERT_TRUE(缓冲.追加("\xE4\xB8\xAD" "de"));
  EXPECT_EQ(缓冲.文本(), "abc\xE4\xB8\xAD" "de");
  const std::vector<unsigned char> 头部(缓冲.全部().begin(), 缓冲.全部().begin() + 8);
  EXPECT_EQ(头部, (std::vector<unsigned char>{8, 0, 0, 0, 0, 0, 0, 0}));

  // A used count spanning all four header bytes is read in little-endian order.
  诊断缓冲 大;
  大.预置(图案(0x010203));
  ASSERT_TRUE(大.追加("Z"));
  EXPECT_EQ(大.已用(), 0x010204u);
  EXPECT_EQ(大.文本().back(), 'Z');
}

TEST(DiagnosticChannelAppend, FillsToCapacityThenDropsOldest) {
  诊断缓冲 缓冲;
  const std::string 旧 = 图案(容量 - 100);
  缓冲.预置(旧);
  ASSERT_TRUE(缓冲.追加(std::string(100, '#')));
  EXPECT_EQ(缓冲.已用(), 容量);
  EXPECT_EQ(缓冲.截断(), 0u);

  ASSERT_TRUE(缓冲.追加("!"));
  EXPECT_EQ(缓冲.已用(), 容量);
  EXPECT_EQ(缓冲.截断(), 1u);
  EXPECT_EQ(缓冲.文本(), 旧.substr(1) + std::string(100, '#') + "!");

  // Once set, the flag stays even when later appends fit.
  诊断缓冲 已截断;
  已截断.预置("old", 1);
  ASSERT_TRUE(已截断.追加("new"));
  EXPECT_EQ(已截断.截断(), 1u);
  EXPECT_EQ(已截断.文本(), "oldnew");
}

TEST(DiagnosticChannelAppend, CutMovesPastContinuationBytes) {
  const std::string 新 = 图案(100, 'A');
  struct 情形 {
    const char* 名称;
    std::string 切口字节;  // placed at offset 62 of the old text
    std::size_t 丢弃;
  };
  const std::vector<情形> 情形表 = {
      {"ascii at the cut", "", 62},
      {"one continuation byte", "\x80", 63},
      {"two continuation bytes", "\xBF\x80", 64},
  };
  for (const auto& 项 : 情形表) {
    SCOPED_TRACE(项.名称);
    std::string 旧 = 图案(524250);
    旧.replace(62, 项.切口字节.size(), 项.切口字节);
    诊断缓冲 缓冲;
    缓冲.预置(旧);
    ASSERT_TRUE(缓冲.追加(新));
    EXPECT_EQ(缓冲.已用(), 524250 - 项.丢弃 + 100);
    EXPECT_EQ(缓冲.截断(), 1u);
    EXPECT_EQ(缓冲.文本(), 旧.substr(项.丢弃) + 新);
  }
}

TEST(DiagnosticChannelAppend, CutThroughContinuationsToTheEndEmptiesOldText) {
  std::string 旧 = "ab" + std::string(1000, '\x80');
  诊断缓冲 缓冲;
  缓冲.预置(旧);
  const std::string 新 = 图案(容量 - 10);
  ASSERT_TRUE(缓冲.追加(新));
  EXPECT_EQ(缓冲.文本(), 新);
  EXPECT_EQ(缓冲.截断(), 1u);
}

TEST(DiagnosticChannelAppend, TextOfExactlyCapacity) {
  const std::string 整段 = 图案(容量);
  诊断缓冲 空;
  ASSERT_TRUE(空.追加(整段));
  EXPECT_EQ(空.文本(), 整段);
  EXPECT_EQ(空.截断(), 0u);

  诊断缓冲 有旧文本;
  有旧文本.预置("old");
  ASSERT_TRUE(有旧文本.追加(整段));
  EXPECT_EQ(有旧文本.文本(), 整段);
  EXPECT_EQ(有旧文本.截断(), 1u);

  std::string 续字节开头 = 整段;
  续字节开头.replace(0, 2, "\x80\x80");
  诊断缓冲 缓冲;
  ASSERT_TRUE(缓冲.追加(续字节开头));
  EXPECT_EQ(缓冲.文本(), 续字节开头.substr(2));
  EXPECT_EQ(缓冲.截断(), 1u);
}

TEST(DiagnosticChannelAppend, TextLargerThanCapacityKeepsNewestPart) {
  std::string 长 = 图案(容量 + 10);
  诊断缓冲 缓冲;
  缓冲.预置("old");
  ASSERT_TRUE(缓冲.追加(长));
  EXPECT_EQ(缓冲.文本(), 长.substr(10));
  EXPECT_EQ(缓冲.截断(), 1u);

  长[10] = '\x80';
  长[11] = '\x80';
  诊断缓冲 切在续字节;
  ASSERT_TRUE(切在续字节.追加(长));
  EXPECT_EQ(切在续字节.文本(), 长.substr(12));

  // Nothing but continuation bytes in the newest part leaves an empty, truncated buffer.
  诊断缓冲 全是续字节;
  ASSERT_TRUE(全是续字节.追加(std::string(容量 + 1, '\x80')));
  EXPECT_EQ(全是续字节.已用(), 0u);
  EXPECT_EQ(全是续字节.截断(), 1u);
}

TEST(DiagnosticChannelAppend, CorruptHeaderOrMissingViewIsLeftAlone) {
  诊断缓冲 缓冲;
  缓冲.预置("text");
  缓冲.写(0, 容量 + 1);
  const std::vector<unsigned char> 之前 = 缓冲.全部();
  EXPECT_FALSE(缓冲.追加("x"));
  EXPECT_FALSE(缓冲.追加(图案(容量 + 5)));
  EXPECT_EQ(缓冲.全部(), 之前);

  EXPECT_FALSE(追加到诊断视图(nullptr, "x", 1));
}

TEST(DiagnosticChannelId, ValidationTable) {
  struct 情形 {
    std::string 标识;
    bool 有效;
  };
  const std::vector<情形> 情形表 = {
      {std::string(64, 'a'), true},
      {"0123456789-abcXYZ", true},
      {"-", true},
      {std::string(65, 'a'), false},
      {"", false},
      {"task.1", false},
      {"task_1", false},
      {"task 1", false},
      {"task/1", false},
      {"\xE4\xB8\xAD", false},
      {std::string("a\0b", 3), false},
  };
  for (const auto& 项 : 情形表) {
    EXPECT_EQ(诊断标识有效(项.标识), 项.有效) << '"' << 项.标识 << '"';
  }
}

TEST(DiagnosticChannelId, InvalidIdOpensNothing) {
  诊断通道 通道;
  EXPECT_FALSE(通道.打开("bad.id"));
  EXPECT_FALSE(通道.有视图());
  EXPECT_FALSE(通道.追加("line\r\n"));
}

}  // namespace
}  // namespace tallybell
