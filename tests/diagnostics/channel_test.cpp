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
// Distinct ASCII bytes so that a shifted buffer shows where it was cut.
std::string 图案(std::size_t 长度, char 起始 = 'a') {
  std::string 文本(长度, ' ');
  for (std::size_t i = 0; i < 长度; ++i) 文本[i] = static_cast<char>(起始 + i % 23);
  return 文本;
}

// An append that does not fit drops the oldest bytes, moving the cut past continuation
// bytes to the start of a character, and sets the flag, which then stays set.
TEST(DiagnosticChannelAppend, DropsOldestFromACharacterStartAndKeepsTheFlag) {
  const std::string 满前 = 图案(诊断文本容量 - 100), 井(100, '#'), 新 = 图案(100, 'A');
  // 62 bytes too many for the new text; 字节 is placed where the cut falls.
  const auto 切口 = [](const std::string& 字节) { return 图案(诊断文本容量 - 38).replace(62, 字节.size(), 字节); };
  const struct {
    std::string 旧;
    std::uint32_t 旧标志;
    std::string 追加, 期望;
  } 用例表[] = {
      {满前, 0, 井, 满前 + 井},
      {满前 + 井, 0, "!", 满前.substr(1) + 井 + "!"},
      {"old", 1, "new", "oldnew"},
      {切口(""), 0, 新, 切口("").substr(62) + 新},
      {切口("\x80"), 0, 新, 切口("\x80").substr(63) + 新},
      {切口("\xBF\x80"), 0, 新, 切口("\xBF\x80").substr(64) + 新},
  };
  for (const auto& 项 : 用例表) {
    SCOPED_TRACE(&项 - 用例表);
    测试::测试诊断通道 通道("channel-test");
    预置(通道, 项.旧, 项.旧标志);
    ASSERT_TRUE(追加到诊断视图(通道.视图(), 项.追加.data(), 项.追加.size()));
    EXPECT_TRUE(通道.文本() == 项.期望);
    EXPECT_EQ(通道.截断标志(), 项.旧标志 != 0 || 项.期望 != 项.旧 + 项.追加 ? 1u : 0u);
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
