#include "diagnostics/diagnostic_line.h"

#include <gtest/gtest.h>

#include <new>
#include <regex>
#include <stdexcept>
#include <string>

#include "support/diagnostic_channel_fixture.h"

namespace tallybell {
namespace {

using 测试::测试诊断通道;

constexpr std::size_t 时间戳长度 = 23;  // "YYYY-MM-DD hh:mm:ss.mmm"

// Splits a line into its timestamp (checked by shape only) and the rest.
std::string 去掉时间戳(const std::string& 行) {
  static const std::regex 形状(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3})");
  EXPECT_GE(行.size(), 时间戳长度);
  if (行.size() < 时间戳长度) return 行;
  EXPECT_TRUE(std::regex_match(行.substr(0, 时间戳长度), 形状)) << 行;
  return 行.substr(时间戳长度);
}

TEST(DiagnosticLine, AppendsFormattedLinesThroughTheChannel) {
  测试诊断通道 通道("task-42");
  ASSERT_TRUE(通道.已创建());
  写诊断结果行("task-42", "update-core-result", 3012, [] { return std::string("a=1 b=2"); });
  写诊断结果行("task-42", "quarantine-commit", 0, [] { return std::string("{}"); });

  const std::string 文本 = 通道.文本();
  const std::size_t 行尾 = 文本.find("\r\n");
  ASSERT_NE(行尾, std::string::npos);
  EXPECT_EQ(去掉时间戳(文本.substr(0, 行尾 + 2)),
            " task=task-42 stage=update-core-result code=3012 a=1 b=2\r\n");
  EXPECT_EQ(去掉时间戳(文本.substr(行尾 + 2)), " task=task-42 stage=quarantine-commit code=0 {}\r\n");
  EXPECT_EQ(通道.截断标志(), 0u);
}

TEST(DiagnosticLine, UpdateCoreResultFields) {
  EXPECT_EQ(更新核心结果字段(true, false, false, L"ok"),
            "recoverUnusableState=true releasePrepared=false alreadyRunning=false detail=ok");
  EXPECT_EQ(更新核心结果字段(false, true, true, L""),
            "recoverUnusableState=false releasePrepared=true alreadyRunning=true detail=");
  EXPECT_EQ(更新核心结果字段(false, false, false, L"\x4E2D\x6587"),
            "recoverUnusableState=false releasePrepared=false alreadyRunning=false "
            "detail=\xE4\xB8\xAD\xE6\x96\x87");
}

}  // namespace
}  // namespace tallybell
