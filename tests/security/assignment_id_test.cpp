// An assignment id that no result event can carry (a line break, more than 256 bytes) would
// make every report of the attempt disappear; such a policy is refused like any invalid one,
// and the publishing tool refuses to write it.
#include <gtest/gtest.h>

#include <string>

#include "documents/policy.h"
#include "publish/publish_test_support.h"
#include "support/temp_dir.h"
#include "support/update_fixture.h"

namespace tallybell {
namespace {

using namespace 测试;

struct 标识行 {
  std::string 标识;
  bool 有效;
};

const 标识行 标识表[] = {
    {std::string(256, 'a'), true}, {"assign 7", true},           {std::string(257, 'a'), false},
    {"assign\n7", false},          {"assign\r7", false},
};

// The id as a JSON string body: the line breaks escaped, so the document itself is valid.
std::string JSON转义(const std::string& 文本) {
  std::string 结果;
  for (const char 字符 : 文本) 结果 += 字符 == '\n' ? "\\n" : 字符 == '\r' ? "\\r" : std::string(1, 字符);
  return 结果;
}

TEST(分配标识, 结果事件带不了的标识使策略无效且发布工具拒绝写出) {
  测试临时目录 目录;
  const std::string 清单 = 生成发布清单文本("r1", {{"Tallybell.exe", "exe"}});
  写测试文件(目录.子路径("manifest.json"), 清单);
  int 序号 = 0;
  for (const auto& 行 : 标识表) {
    夹具策略 策略;
    策略.assignmentId = JSON转义(行.标识);
    版本策略 结果;
    EXPECT_EQ(解析版本策略(生成策略文本(策略, 测试SHA256(清单)), &结果), 行.有效) << 行.标识.size();
    const auto 输出 = 目录.子路径("policy-" + std::to_string(++序号) + ".json");
    const auto 发布 = 运行发布工具({"policy", "--manifest", 路径文本(目录.子路径("manifest.json")), "--manifest-url",
                                    "https://updates.tallybell.example/releases/r1/manifest.json", "--policy-version",
                                    "1", "--assignment-id", 行.标识, "--check-after", "2026-12-06T12:00:00Z", "--out",
                                    路径文本(输出)});
    EXPECT_EQ(发布.退出码 == 0, 行.有效) << 行.标识.size() << 发布.输出;
    EXPECT_EQ(std::filesystem::exists(输出), 行.有效) << 行.标识.size();
  }
}

}  // namespace
}  // namespace tallybell
