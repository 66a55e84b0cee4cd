// The file-call table of the build's platform against real files: the same contract on
// both builds.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/text.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "support/file_helpers.h"
#include "support/temp_dir.h"

namespace tallybell::platform {
namespace {

namespace fs = std::filesystem;
using namespace 测试;

const 文件调用表& 表() { return 系统文件调用表(); }

bool 写全部(const 文件& f, const std::string& 内容) {
  std::size_t 已写 = 0;
  return 表().写入(f.get(), 内容.data(), 内容.size(), &已写) && 已写 == 内容.size();
}

std::string 读最多(const 文件& f, std::size_t 容量) {
  std::string 缓冲(容量, '\0');
  std::size_t 已读 = 0;
  if (!表().读取(f.get(), 缓冲.data(), 容量, &已读)) return "<failed>";
  缓冲.resize(已读);
  return 缓冲;
}

// Windows shares by mode (a new file with nobody, a plain reader with a writer, the hashing
// reader with other readers only); POSIX has no sharing modes.
TEST(文件调用表, 打开模式新建共享读写截断与定位) {
  constexpr bool 按模式共享 = 路径分隔符 == L'\\';
  测试临时目录 目录;
  const std::wstring 路径 = 目录.宽路径("part");
  文件 f, 读者, 顺序;
  EXPECT_FALSE(f.打开(路径, 打开模式::读取已有));
  EXPECT_FALSE(f.打开(路径, 打开模式::顺序读取已有));
  ASSERT_TRUE(f.打开(路径, 打开模式::独占新建写入));
  EXPECT_NE(读者.打开(路径, 打开模式::读取已有), 按模式共享);
  ASSERT_TRUE(写全部(f, "hello world"));
  f.重置();
  EXPECT_FALSE(f.打开(路径, 打开模式::独占新建写入));  // anything existing is refused
  EXPECT_FALSE(f.打开(目录.宽路径("missing/x"), 打开模式::独占新建写入));
  EXPECT_FALSE(fs::exists(目录.子路径("missing")));  // nothing is created on the way
  ASSERT_TRUE(f.打开(路径, 打开模式::读写打开或新建));
  EXPECT_TRUE(读者.打开(路径, 打开模式::读取已有));
  EXPECT_NE(顺序.打开(路径, 打开模式::顺序读取已有), 按模式共享);
  std::uint64_t 大小 = 0;
  ASSERT_TRUE(表().取大小(f.get(), &大小));
  EXPECT_EQ(大小, 11u);
  ASSERT_TRUE(表().定位(f.get(), 6));
  EXPECT_EQ(读最多(f, 100), "world");
  EXPECT_EQ(读最多(f, 100), "");  // end of file: success with 0 bytes
  // Cutting does not move the position (ftruncate's rule on both builds).
  ASSERT_TRUE(表().截断(f.get(), 5));
  ASSERT_TRUE(写全部(f, "!"));
  ASSERT_TRUE(表().刷新(f.get()));
  f.重置();
  EXPECT_EQ(读测试文件(目录.子路径("part")), std::string("hello\0\0\0\0\0\0!", 12));
  ASSERT_TRUE(顺序.打开(路径, 打开模式::顺序读取已有));
  EXPECT_NE(f.打开(路径, 打开模式::读写打开或新建), 按模式共享);
}

// The file's name lies beyond the Basic Multilingual Plane (U+1F514, a bell, is a surrogate
// pair in UTF-16) and comes back from the listing unchanged.
TEST(文件调用表, 查询枚举目录与只读且基本平面外的名称往返不变) {
  测试临时目录 目录;
  const std::string 名称 = "\xF0\x9F\x94\x94铃.txt";
  const std::wstring 路径 = 目录.宽路径() + L"/" + UTF8转宽宽松(名称);
  写测试文件(目录.子路径(名称), "12345");
  文件信息 信息;
  ASSERT_TRUE(表().查询(路径, &信息));
  EXPECT_TRUE(信息.存在 && !信息.是目录 && !信息.是链接 && !信息.只读);
  EXPECT_EQ(信息.大小, 5u);
  ASSERT_TRUE(表().查询(目录.宽路径(), &信息));
  EXPECT_TRUE(信息.存在 && 信息.是目录);
  fs::permissions(目录.子路径(名称), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  ASSERT_TRUE(表().查询(路径, &信息));
  EXPECT_TRUE(信息.只读);
  EXPECT_TRUE(表().清除只读(路径));
  EXPECT_TRUE(表().查询(路径, &信息) && !信息.只读);
  EXPECT_FALSE(表().清除只读(目录.宽路径("nothing")));
  for (const char* 缺少 : {"absent.txt", "absent/x.txt"}) {
    EXPECT_FALSE(表().查询(目录.宽路径(缺少), &信息));
    EXPECT_FALSE(信息.存在);
    EXPECT_NE(信息.错误码, 0u);
  }

  bool 已存在 = false;
  EXPECT_TRUE(表().创建目录(目录.宽路径("sub"), &已存在) && !已存在);
  EXPECT_FALSE(表().创建目录(目录.宽路径("sub"), &已存在));
  EXPECT_TRUE(已存在);
  EXPECT_FALSE(表().创建目录(目录.宽路径("a/b"), &已存在));  // one level only
  EXPECT_FALSE(已存在);
  写测试文件(目录.子路径("sub/inner"), "y");
  std::vector<目录项> 项;
  ASSERT_TRUE(表().枚举目录(目录.宽路径(), &项));
  ASSERT_EQ(项.size(), 2u);
  std::sort(项.begin(), 项.end(), [](const 目录项& a, const 目录项& b) { return a.名称 < b.名称; });
  EXPECT_EQ(项[0].名称 + L"|" + (项[0].是目录 ? L"d" : L"f"), L"sub|d");
  EXPECT_EQ(项[1].名称 + L"|" + (项[1].是目录 ? L"d" : L"f"), UTF8转宽宽松(名称) + L"|f");
  EXPECT_FALSE(表().枚举目录(目录.宽路径("missing"), &项));
  EXPECT_FALSE(表().枚举目录(路径, &项));
  EXPECT_FALSE(表().删除目录(目录.宽路径("sub")));  // not empty
  EXPECT_FALSE(表().删除文件(目录.宽路径("sub")));  // a real directory is not a file
  EXPECT_TRUE(表().删除文件(目录.宽路径("sub/inner")));
  EXPECT_TRUE(表().删除目录(目录.宽路径("sub")));
}

TEST(文件调用表, 移动替换和复制只在允许时覆盖) {
  测试临时目录 目录;
  const auto 写 = [&](const char* 名称, const char* 内容) { 写测试文件(目录.子路径(名称), 内容); };
  const auto 读 = [&](const char* 名称) {
    return fs::exists(目录.子路径(名称)) ? 读测试文件(目录.子路径(名称)) : "<missing>";
  };
  写("src", "new");
  写("dst", "old");
  EXPECT_FALSE(表().移动不替换(目录.宽路径("src"), 目录.宽路径("dst")));
  EXPECT_EQ(读("dst"), "old");
  EXPECT_TRUE(表().移动不替换(目录.宽路径("src"), 目录.宽路径("moved")));
  EXPECT_EQ(读("moved") + 读("src"), "new<missing>");
  EXPECT_TRUE(表().移动并替换(目录.宽路径("moved"), 目录.宽路径("dst")));
  EXPECT_EQ(读("dst") + 读("moved"), "new<missing>");

  // Replacing keeps the previous content at the backup name, overwriting an older backup.
  写("state.tmp", "generation 2");
  EXPECT_TRUE(表().替换并备份(目录.宽路径("dst"), 目录.宽路径("state.tmp"), 目录.宽路径("state.bak")));
  写("state.tmp", "generation 3");
  EXPECT_TRUE(表().替换并备份(目录.宽路径("dst"), 目录.宽路径("state.tmp"), 目录.宽路径("state.bak")));
  EXPECT_EQ(读("dst") + "|" + 读("state.bak") + "|" + 读("state.tmp"), "generation 3|generation 2|<missing>");
  写("state.tmp", "generation 4");
  EXPECT_TRUE(表().替换并备份(目录.宽路径("dst"), 目录.宽路径("state.tmp"), L""));
  EXPECT_EQ(读("dst") + "|" + 读("state.bak"), "generation 4|generation 2");
  EXPECT_FALSE(表().替换并备份(目录.宽路径("dst"), 目录.宽路径("state.tmp"), L""));  // no replacement
  EXPECT_EQ(读("dst"), "generation 4");

  EXPECT_TRUE(表().复制文件不覆盖(目录.宽路径("dst"), 目录.宽路径("copy")));
  写("dst", "changed");
  EXPECT_FALSE(表().复制文件不覆盖(目录.宽路径("dst"), 目录.宽路径("copy")));
  EXPECT_EQ(读("copy"), "generation 4");
  EXPECT_FALSE(表().复制文件不覆盖(目录.宽路径(), 目录.宽路径("d")));  // not a regular file
}

}  // namespace
}  // namespace tallybell::platform
