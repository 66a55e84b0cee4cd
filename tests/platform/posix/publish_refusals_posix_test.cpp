// Every build the update core could not install is refused by the release command before
// anything is written, with a message naming the file. POSIX only: most of these builds
// (a '\' or ':' in a name, a device name, names differing in case, links, invalid UTF-8
// names) cannot be made on a Windows file system.
#include <gtest/gtest.h>

#include <functional>

#include "publish/publish_test_support.h"
#include "support/temp_dir.h"

namespace tallybell {
namespace {

namespace fs = std::filesystem;
using namespace 测试;

struct 拒绝情形 {
  const char* 名称;
  std::function<void(const fs::path& 构建)> 改动;
  std::vector<std::string> 选项;  // replaces the default --release-id and --base-url when given
  std::uint32_t 代码;
  std::string 消息;
};

TEST(发布拒绝, 核心不接受的构建和参数都被拒绝且不写任何内容) {
  const std::vector<拒绝情形> 表 = {
      {"反斜杠", [](const fs::path& 根) { 写测试文件(根 / "bin\\x.dll", "x"); }, {}, 3,
       "路径不符合发布清单的路径规则：bin\\x.dll"},
      {"设备名", [](const fs::path& 根) { 写测试文件(根 / "bin/Aux.log", "x"); }, {}, 3, "路径不符合发布清单的路径规则：bin/Aux.log"},
      {"只差大小写", [](const fs::path& 根) { 写测试文件(根 / "Bin/A.dll", "1"); 写测试文件(根 / "bin/a.dll", "2"); }, {}, 3,
       "两个文件的路径只差字母大小写：Bin/A.dll / bin/a.dll"},
      {"目录链接", [](const fs::path& 根) { fs::create_directory_symlink("/tmp", 根 / "bin/tmp"); }, {}, 3,
       "构建目录中不能有链接：bin/tmp"},
      {"可执行文件大小写不同", [](const fs::path& 根) { fs::rename(根 / "Tallybell.exe", 根 / "tallybell.exe"); }, {}, 3,
       "构建目录顶层缺少 Tallybell.exe"},
      {"完成标记名", [](const fs::path& 根) { 写测试文件(根 / "Complete.json", "{}"); }, {}, 3,
       "该文件名留给版本目录自己使用：Complete.json"},
      {"无效UTF8文件名", [](const fs::path& 根) { 写测试文件(根 / std::string("bad\xff"), "x"); }, {}, 3,
       "文件名不是有效的 Unicode：bad\xef\xbf\xbd"},
      {"发布标识两点", {}, {"--release-id", "..", "--base-url", "https://cdn.example"}, 3, "发布标识须为"},
      {"带查询的地址", {}, {"--release-id", "r1", "--base-url", "https://cdn.example/x?y=1"}, 3, "下载基础地址须为"},
      {"地址只差大小写", {}, {"--release-id", "r1", "--base-url", "https://CDN.example", "--base-url", "https://cdn.example/"},
       3, "下载基础地址重复（不区分大小写）：https://cdn.example/"},
      {"缺少基础地址", {}, {"--release-id", "r1", "--base-url", ""}, 2, "选项缺少值：--base-url"},
  };
  const std::vector<std::string> 默认选项 = {"--release-id", "r1", "--base-url", "https://cdn.example"};
  for (const auto& 项 : 表) {
    测试临时目录 目录;
    写构建(目录.子路径("build"), 样例构建());
    if (项.改动) 项.改动(目录.子路径("build"));
    std::vector<std::string> 参数 = {"release", "--input", 路径文本(目录.子路径("build")), "--out",
                                     路径文本(目录.子路径("content"))};
    const auto& 选项 = 项.选项.empty() ? 默认选项 : 项.选项;
    参数.insert(参数.end(), 选项.begin(), 选项.end());
    const auto 结果 = 运行发布工具(参数);
    EXPECT_EQ(结果.退出码, 项.代码) << 项.名称 << "\n" << 结果.输出;
    EXPECT_NE(结果.输出.find("错误 " + std::to_string(项.代码) + "：" + 项.消息), std::string::npos)
        << 项.名称 << "\n" << 结果.输出;
    EXPECT_FALSE(fs::exists(目录.子路径("content"))) << 项.名称;
  }
}

}  // namespace
}  // namespace tallybell
