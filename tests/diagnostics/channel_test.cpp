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

}  // namespace
}  // namespace tallybell
