#include "diagnostics/channel.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/diagnostic_channel_fixture.h"

namespace tallybell {
namespace {

// A channel holding 文本 as if earlier writers had appended it.
void 预置(测试::测试诊断通道& 通道, const std::string& 文本, std::uint32_t 截断标志 = 0) {
  ASSERT_TRUE(通道.已创建());
  const std::uint32_t 头[2] = {static_cast<std::uint32_t>(文本.size()), 截断标志};
  for (int i = 0; i < 8; ++i) 通道.视图()[i] = static_cast<unsigned char>(头[i / 4] >> (8 * (i % 4)));
  std::copy(文本.begin(), 文本.end(), 通道.视图() + 8);
}
bool 追加(测试::测试诊断通道& 通道, const std::string& 文本) {
  return 追加到诊断视图(通道.视图(), 文本.data(), 文本.size());
}

// Distinct ASCII bytes so that a shifted buffer shows where it was cut.
std::string 图案(std::size_t 长度, char 起始 = 'a') {
  std::string 文本(长度, ' ');
  for (std::size_t i = 0; i < 长度; ++i) 文本[i] = static_cast<char>(起始 + i % 23);
  return 文本;
}

TEST(DiagnosticChannelAppend, FillsToCapacityThenDropsOldest) {
  测试::测试诊断通道 通道("channel-test");
  const std::string 旧 = 图案(诊断文本容量 - 100);
  预置(通道, 旧);
  ASSERT_TRUE(追加(通道, std::string(100, '#')));
  EXPECT_EQ(通道.截断标志(), 0u);
  ASSERT_TRUE(追加(通道, "!"));
  EXPECT_EQ(通道.截断标志(), 1u);
  EXPECT_EQ(通道.文本(), 旧.substr(1) + std::string(100, '#') + "!");

  // Once set, the flag stays even when later appends fit.
  预置(通道, "old", 1);
  ASSERT_TRUE(追加(通道, "new"));
  EXPECT_EQ(通道.截断标志(), 1u);
  EXPECT_EQ(通道.文本(), "oldnew");
}

TEST(DiagnosticChannelAppend, CutMovesPastContinuationBytes) {
  const std::string 新 = 图案(100, 'A');
  const struct {
    std::string 切口字节;  // placed at offset 62 of the old text
    std::size_t 丢弃;
  } 情形表[] = {{"", 62}, {"\x80", 63}, {"\xBF\x80", 64}};
  for (const auto& 项 : 情形表) {
    SCOPED_TRACE(项.丢弃);
    std::string 旧 = 图案(524250);
    旧.replace(62, 项.切口字节.size(), 项.切口字节);
    测试::测试诊断通道 通道("channel-test");
    预置(通道, 旧);
    ASSERT_TRUE(追加(通道, 新));
    EXPECT_EQ(通道.截断标志(), 1u);
    EXPECT_EQ(通道.文本(), 旧.substr(项.丢弃) + 新);
  }
}

TEST(DiagnosticChannelId, ValidationTable) {
  const std::vector<std::pair<std::string, bool>> 情形表 = {
      {std::string(64, 'a'), true}, {"0123456789-abcXYZ", true}, {std::string(65, 'a'), false}, {"", false},
      {"task.1", false},            {"task_1", false},           {"task/1", false},             {"\xE4\xB8\xAD", false},
      {std::string("a\0b", 3), false},
  };
  for (const auto& [标识, 有效] : 情形表) EXPECT_EQ(诊断标识有效(标识), 有效) << '"' << 标识 << '"';
}

}  // namespace
}  // namespace tallybell
