// What a compromised update service can make the release assembly write: nothing outside
// the staging directory, and nothing in place of the manifest or the completion marker
// that the verifier trusts.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "release/assembly.h"
#include "support/file_helpers.h"
#include "support/lock_namespace.h"
#include "support/release_builder.h"
#include "support/state_files.h"
#include "support/temp_dir.h"
#include "transport/offline_fixture.h"

namespace tallybell {
namespace {

namespace fs = std::filesystem;
using namespace 测试;

class 组装路径安全 : public ::testing::Test {
 protected:
  void SetUp() override {
    本地版本状态 状态;
    状态.generation = 1;
    写状态文件(目录_.子路径("state"), 状态);
    配置_.programRoot = 目录_.宽路径("root/program");
    配置_.stateRoot = 目录_.宽路径("state");
    配置_.cacheRoot = 目录_.宽路径("cache");
    配置_.diagnosticId = "security-test";
  }

  // Assembles a release of 文件 whose manifest the policy vouches for, with every object
  // on offer.
  std::uint32_t 组装(const std::string& 清单文本, const 发布内容& 文件, std::wstring* 错误) {
    for (const auto& [路径, 内容] : 文件) {
      写测试文件(目录_.子路径("fixture/objects/" + 测试SHA256(内容) + ".object"), 内容);
    }
    配置_.manifestText = 清单文本;
    配置_.manifestHash = 测试SHA256(清单文本);
    return 版本组装(配置_, &夹具_, &结果_, 错误);
  }
  // Entries below root/ other than the program root's releases: none may ever appear.
  bool 只有版本目录被写() const {
    for (const auto& 项 : fs::directory_iterator(目录_.子路径("root"))) {
      if (项.path().filename() != "program") return false;
    }
    return true;
  }

  私有锁命名空间 锁空间_;
  测试临时目录 目录_;
  离线更新夹具传输 夹具_{目录_.宽路径("fixture")};
  版本组装配置 配置_;
  版本组装结果 结果_;
};

// The manifest text is checked against the policy's hash before anything else, so paths
// that climb out, start at the root or carry a drive are refused without a write.
TEST_F(组装路径安全, 离开版本目录的路径在写入任何东西之前被拒绝) {
  fs::create_directories(目录_.子路径("root"));
  for (const std::string 路径 : {"../escape.txt", "../../escape.txt", "a/../../escape.txt", "/tmp/escape.txt",
                                 "C:escape.txt", "a\\..\\..\\escape.txt", "./escape.txt", "a//escape.txt"}) {
    SCOPED_TRACE(路径);
    std::wstring 错误;
    const std::string 清单 = 生成发布清单文本("r1", {{"Tallybell.exe", "exe"}, {路径, "evil"}});
    EXPECT_EQ(组装(清单, {{"Tallybell.exe", "exe"}, {"x", "evil"}}, &错误), 3009u);
    EXPECT_EQ(错误, L"发布清单无效或未登记Tallybell.exe。");
    EXPECT_FALSE(fs::exists(目录_.子路径("root/program")));
    EXPECT_FALSE(fs::exists(目录_.子路径("state/staging")));
    EXPECT_TRUE(只有版本目录被写());
  }
}

// A file entry named like the manifest or the completion marker cannot replace them: the
// release fails and nothing is committed.
TEST_F(组装路径安全, 文件条目不能顶替清单) {
  std::wstring 错误;
  const 发布内容 冒充清单 = {{"Tallybell.exe", "exe"}, {"release.manifest.json", "{\"forged\":1}"}};
  EXPECT_EQ(组装(生成发布清单文本("r1", 冒充清单), 冒充清单, &错误), 3010u);
  EXPECT_EQ(错误, L"无法下载或校验发布文件。");
  EXPECT_FALSE(fs::exists(目录_.子路径("root/program/releases/r1")));
  EXPECT_EQ(读状态文件(目录_.子路径("state/state.txt")).pendingRelease, L"");
}

TEST_F(组装路径安全, 文件条目不能顶替完成标记) {
  std::wstring 错误;
  const 发布内容 冒充标记 = {{"Tallybell.exe", "exe"}, {"complete.json", "{\"forged\":1}"}};
  EXPECT_EQ(组装(生成发布清单文本("r1", 冒充标记), 冒充标记, &错误), 3005u);
  EXPECT_EQ(错误, L"完整版本校验失败。");
  EXPECT_FALSE(fs::exists(目录_.子路径("root/program/releases/r1")));
  EXPECT_EQ(读状态文件(目录_.子路径("state/state.txt")).pendingRelease, L"");
}

}  // namespace
}  // namespace tallybell
