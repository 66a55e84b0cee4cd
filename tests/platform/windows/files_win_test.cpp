// The Windows file-system call table, against real files in a private temporary folder.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/windows/windows_test_support.h"

namespace tallybell::platform {
namespace {

using 测试::临时目录;
using 测试::写文件;
using 测试::存在;
using 测试::读文件;

const 文件调用表& 表() { return 系统文件调用表(); }

// Opens through the table; the handle is owned by the returned object.
文件 打开(const std::wstring& 路径, 打开模式 模式) {
  文件 结果;
  结果.打开(路径, 模式);
  return 结果;
}

bool 写全部(const 文件& f, const std::string& 内容) {
  std::size_t 已写 = 0;
  return 表().写入(f.句柄(), 内容.data(), 内容.size(), &已写) && 已写 == 内容.size();
}

std::string 读最多(const 文件& f, std::size_t 容量) {
  std::string 缓冲(容量, '\0');
  std::size_t 已读 = 0;
  if (!表().读取(f.句柄(), 缓冲.data(), 容量, &已读)) return "<failed>";
  缓冲.resize(已读);
  return 缓冲;
}

TEST(WindowsFileTable, InUseTableStartsAsTheSystemTable) {
  EXPECT_EQ(文件调用().打开, 表().打开);
  EXPECT_EQ(文件调用().替换并备份, 表().替换并备份);
  EXPECT_EQ(文件调用().枚举目录, 表().枚举目录);
}

TEST(WindowsFileTable, ExclusiveCreateRefusesAnythingExisting) {
  临时目录 目录;
  const std::wstring 路径 = 目录.下(L"new.txt");
  {
    文件 f = 打开(路径, 打开模式::独占新建写入);
    ASSERT_TRUE(f.已打开());
    ASSERT_TRUE(写全部(f, "first"));
    ASSERT_TRUE(表().刷新(f.句柄()));
    // No sharing while the creator holds it, not even for readers.
    EXPECT_FALSE(打开(路径, 打开模式::读取已有).已打开());
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  }
  原生文件 句柄 = 无效文件;
  EXPECT_FALSE(表().打开(路径, 打开模式::独占新建写入, &句柄));
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
  EXPECT_EQ(句柄, 无效文件);
  EXPECT_EQ(读文件(路径), "first");

  ASSERT_TRUE(::CreateDirectoryW(目录.下(L"dir").c_str(), nullptr));
  EXPECT_FALSE(打开(目录.下(L"dir"), 打开模式::独占新建写入).已打开());
  // Into a folder that does not exist: nothing is created on the way.
  EXPECT_FALSE(打开(目录.下(L"missing\\x.txt"), 打开模式::独占新建写入).已打开());
  EXPECT_FALSE(存在(目录.下(L"missing")));
}

TEST(WindowsFileTable, ReadingModesAndTheirSharing) {
  临时目录 目录;
  const std::wstring 路径 = 目录.下(L"data.bin");
  EXPECT_FALSE(打开(路径, 打开模式::读取已有).已打开());
  EXPECT_FALSE(打开(路径, 打开模式::顺序读取已有).已打开());
  ASSERT_TRUE(写文件(路径, "0123456789"));
  {
    文件 写者 = 打开(路径, 打开模式::读写打开或新建);
    ASSERT_TRUE(写者.已打开());
    // A writer is open: the plain reader shares with it, the hashing reader does not.
    文件 读者 = 打开(路径, 打开模式::读取已有);
    ASSERT_TRUE(读者.已打开());
    EXPECT_EQ(读最多(读者, 4), "0123");
    EXPECT_FALSE(打开(路径, 打开模式::顺序读取已有).已打开());
  }
  文件 顺序 = 打开(路径, 打开模式::顺序读取已有);
  ASSERT_TRUE(顺序.已打开());
  EXPECT_EQ(读最多(顺序, 100), "0123456789");
  EXPECT_EQ(读最多(顺序, 100), "");  // end of file: success with 0 bytes
  // The hashing reader lets others read and delete, but not write.
  EXPECT_TRUE(打开(路径, 打开模式::读取已有).已打开());
  EXPECT_FALSE(打开(路径, 打开模式::读写打开或新建).已打开());
}

TEST(WindowsFileTable, ReadWriteOpenKeepsContentAndPositionsAndResizes) {
  临时目录 目录;
  const std::wstring 路径 = 目录.下(L"part");
  {
    文件 f = 打开(路径, 打开模式::读写打开或新建);
    ASSERT_TRUE(f.已打开());
    ASSERT_TRUE(写全部(f, "hello world"));
  }
  文件 f = 打开(路径, 打开模式::读写打开或新建);
  ASSERT_TRUE(f.已打开());
  std::uint64_t 大小 = 0;
  ASSERT_TRUE(表().取大小(f.句柄(), &大小));
  EXPECT_EQ(大小, 11u);
  ASSERT_TRUE(表().定位(f.句柄(), 6));
  EXPECT_EQ(读最多(f, 100), "world");

  // Cutting does not move the position (as with ftruncate): the next write lands at 11.
  ASSERT_TRUE(表().截断(f.句柄(), 5));
  ASSERT_TRUE(表().取大小(f.句柄(), &大小));
  EXPECT_EQ(大小, 5u);
  ASSERT_TRUE(表().定位(f.句柄(), 5));
  ASSERT_TRUE(写全部(f, "!"));
  ASSERT_TRUE(表().截断(f.句柄(), 8));
  ASSERT_TRUE(表().刷新(f.句柄()));
  f.关闭();
  EXPECT_EQ(读文件(路径), std::string("hello!\0\0", 8));
}

TEST(WindowsFileTable, QueryReportsKindSizeReadOnlyAndNotFoundCodes) {
  临时目录 目录;
  const std::wstring 文件路径 = 目录.下(L"f.txt");
  ASSERT_TRUE(写文件(文件路径, "12345"));

  文件信息 信息;
  ASSERT_TRUE(表().查询(文件路径, &信息));
  EXPECT_TRUE(信息.存在);
  EXPECT_FALSE(信息.是目录);
  EXPECT_FALSE(信息.是链接);
  EXPECT_FALSE(信息.只读);
  EXPECT_EQ(信息.大小, 5u);

  ASSERT_TRUE(表().查询(目录.路径(), &信息));
  EXPECT_TRUE(信息.存在);
  EXPECT_TRUE(信息.是目录);

  ASSERT_TRUE(::SetFileAttributesW(文件路径.c_str(), FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(表().查询(文件路径, &信息));
  EXPECT_TRUE(信息.只读);
  EXPECT_TRUE(表().清除只读(文件路径));
  ASSERT_TRUE(表().查询(文件路径, &信息));
  EXPECT_FALSE(信息.只读);
  EXPECT_TRUE(表().清除只读(文件路径));  // nothing to clear is fine
  EXPECT_FALSE(表().清除只读(目录.下(L"nothing")));

  // A missing file in an existing folder: "file not found"; in a missing folder: "path
  // not found". Both leave 存在 false and report failure.
  EXPECT_FALSE(表().查询(目录.下(L"absent.txt"), &信息));
  EXPECT_FALSE(信息.存在);
  EXPECT_EQ(信息.错误码, static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(表().查询(目录.下(L"absent\\x.txt"), &信息));
  EXPECT_FALSE(信息.存在);
  EXPECT_EQ(信息.错误码, static_cast<std::uint32_t>(ERROR_PATH_NOT_FOUND));
}

TEST(WindowsFileTable, CreateAndRemoveDirectories) {
  临时目录 目录;
  const std::wstring 子 = 目录.下(L"sub");
  bool 已存在 = true;
  EXPECT_TRUE(表().创建目录(子, &已存在));
  EXPECT_FALSE(已存在);
  EXPECT_FALSE(表().创建目录(子, &已存在));
  EXPECT_TRUE(已存在);
  ASSERT_TRUE(写文件(目录.下(L"file"), "x"));
  EXPECT_FALSE(表().创建目录(目录.下(L"file"), &已存在));
  EXPECT_TRUE(已存在);
  EXPECT_FALSE(表().创建目录(目录.下(L"a\\b"), &已存在));  // one level only
  EXPECT_FALSE(已存在);
  EXPECT_FALSE(表().创建目录(目录.下(L"a\\b"), nullptr));

  ASSERT_TRUE(写文件(子 + L"\\inner", "y"));
  EXPECT_FALSE(表().删除目录(子));  // not empty
  EXPECT_FALSE(表().删除文件(子));  // a real directory is not a file
  EXPECT_TRUE(表().删除文件(子 + L"\\inner"));
  EXPECT_FALSE(表().删除文件(子 + L"\\inner"));
  EXPECT_TRUE(表().删除目录(子));
  EXPECT_FALSE(存在(子));
}

TEST(WindowsFileTable, MoveWithoutReplaceRefusesAnExistingTarget) {
  临时目录 目录;
  const std::wstring 源 = 目录.下(L"src"), 目标 = 目录.下(L"dst");
  ASSERT_TRUE(写文件(源, "new"));
  ASSERT_TRUE(写文件(目标, "old"));
  EXPECT_FALSE(表().移动不替换(源, 目标));
  EXPECT_EQ(读文件(源), "new");
  EXPECT_EQ(读文件(目标), "old");

  ASSERT_TRUE(::DeleteFileW(目标.c_str()));
  EXPECT_TRUE(表().移动不替换(源, 目标));
  EXPECT_FALSE(存在(源));
  EXPECT_EQ(读文件(目标), "new");

  // Directories move with their content, and an existing directory is not replaced.
  ASSERT_TRUE(::CreateDirectoryW(目录.下(L"d1").c_str(), nullptr));
  ASSERT_TRUE(写文件(目录.下(L"d1\\x"), "x"));
  ASSERT_TRUE(::CreateDirectoryW(目录.下(L"d2").c_str(), nullptr));
  EXPECT_FALSE(表().移动不替换(目录.下(L"d1"), 目录.下(L"d2")));
  EXPECT_TRUE(表().移动不替换(目录.下(L"d1"), 目录.下(L"d3")));
  EXPECT_EQ(读文件(目录.下(L"d3\\x")), "x");
}

TEST(WindowsFileTable, MoveAndReplaceOverwritesTheTarget) {
  临时目录 目录;
  const std::wstring 源 = 目录.下(L"a.part"), 目标 = 目录.下(L"a.object");
  ASSERT_TRUE(写文件(源, "verified"));
  ASSERT_TRUE(写文件(目标, "stale"));
  EXPECT_TRUE(表().移动并替换(源, 目标));
  EXPECT_FALSE(存在(源));
  EXPECT_EQ(读文件(目标), "verified");
  EXPECT_FALSE(表().移动并替换(源, 目标));  // the source is gone now
}

TEST(WindowsFileTable, ReplaceKeepsThePreviousContentAsBackup) {
  临时目录 目录;
  const std::wstring 目标 = 目录.下(L"state.txt"), 临时 = 目录.下(L"state.txt.tmp"),
                     备份 = 目录.下(L"state.txt.bak");
  ASSERT_TRUE(写文件(目标, "generation 1"));
  ASSERT_TRUE(写文件(临时, "generation 2"));
  EXPECT_TRUE(表().替换并备份(目标, 临时, 备份));
  EXPECT_EQ(读文件(目标), "generation 2");
  EXPECT_EQ(读文件(备份), "generation 1");
  EXPECT_FALSE(存在(临时));

  // An existing backup is overwritten by the next generation.
  ASSERT_TRUE(写文件(临时, "generation 3"));
  EXPECT_TRUE(表().替换并备份(目标, 临时, 备份));
  EXPECT_EQ(读文件(目标), "generation 3");
  EXPECT_EQ(读文件(备份), "generation 2");

  // Without a backup name the old content is simply dropped.
  ASSERT_TRUE(::DeleteFileW(备份.c_str()));
  ASSERT_TRUE(写文件(临时, "generation 4"));
  EXPECT_TRUE(表().替换并备份(目标, 临时, L""));
  EXPECT_EQ(读文件(目标), "generation 4");
  EXPECT_FALSE(存在(备份));
  EXPECT_FALSE(存在(临时));

  // A missing replacement fails and leaves the target alone.
  EXPECT_FALSE(表().替换并备份(目标, 临时, 备份));
  EXPECT_EQ(读文件(目标), "generation 4");
}

TEST(WindowsFileTable, CopyNeverOverwrites) {
  临时目录 目录;
  const std::wstring 源 = 目录.下(L"a"), 目标 = 目录.下(L"b");
  ASSERT_TRUE(写文件(源, "content"));
  EXPECT_TRUE(表().复制文件不覆盖(源, 目标));
  EXPECT_EQ(读文件(目标), "content");
  ASSERT_TRUE(写文件(源, "changed"));
  EXPECT_FALSE(表().复制文件不覆盖(源, 目标));
  EXPECT_EQ(读文件(目标), "content");
  EXPECT_FALSE(表().复制文件不覆盖(目录.下(L"missing"), 目录.下(L"c")));
  EXPECT_FALSE(表().复制文件不覆盖(目录.路径(), 目录.下(L"d")));  // not a regular file
}

TEST(WindowsFileTable, EnumerateListsEntriesWithoutDotNames) {
  临时目录 目录;
  std::vector<目录项> 项;
  ASSERT_TRUE(表().枚举目录(目录.路径(), &项));
  EXPECT_TRUE(项.empty());

  ASSERT_TRUE(写文件(目录.下(L"a.txt"), "a"));
  ASSERT_TRUE(写文件(目录.下(L"发布.json"), "b"));
  ASSERT_TRUE(::CreateDirectoryW(目录.下(L"sub").c_str(), nullptr));
  ASSERT_TRUE(写文件(目录.下(L"sub\\inner"), "c"));  // not listed: one level only
  ASSERT_TRUE(表().枚举目录(目录.路径() + L"\\", &项));
  std::sort(项.begin(), 项.end(), [](const 目录项& x, const 目录项& y) { return x.名称 < y.名称; });
  ASSERT_EQ(项.size(), 3u);
  EXPECT_EQ(项[0].名称, L"a.txt");
  EXPECT_FALSE(项[0].是目录);
  EXPECT_EQ(项[1].名称, L"sub");
  EXPECT_TRUE(项[1].是目录);
  EXPECT_EQ(项[2].名称, L"发布.json");
  for (const 目录项& 条目 : 项) EXPECT_FALSE(条目.是链接);

  EXPECT_FALSE(表().枚举目录(目录.下(L"missing"), &项));
  EXPECT_TRUE(项.empty());
  EXPECT_FALSE(表().枚举目录(目录.下(L"a.txt"), &项));
}

TEST(WindowsFileTable, NamesOutsideTheBasicPlaneRoundTrip) {
  临时目录 目录;
  // U+1F514 (a bell) is a surrogate pair in UTF-16.
  const std::wstring 名称 = L"\U0001F514铃.txt";
  ASSERT_EQ(名称.size(), 7u);
  {
    文件 f = 打开(目录.下(名称), 打开模式::独占新建写入);
    ASSERT_TRUE(f.已打开());
    ASSERT_TRUE(写全部(f, "ding"));
  }
  文件信息 信息;
  ASSERT_TRUE(表().查询(目录.下(名称), &信息));
  EXPECT_EQ(信息.大小, 4u);
  std::vector<目录项> 项;
  ASSERT_TRUE(表().枚举目录(目录.路径(), &项));
  ASSERT_EQ(项.size(), 1u);
  EXPECT_EQ(项[0].名称, 名称);
}

TEST(WindowsFileTable, LinksAreReportedAndRemovedThemselves) {
  if (测试::在Wine下运行()) GTEST_SKIP() << "Wine 8: CreateSymbolicLinkW creates nothing";
  临时目录 目录;
  const std::wstring 目标目录 = 目录.下(L"target"), 链接 = 目录.下(L"link");
  ASSERT_TRUE(::CreateDirectoryW(目标目录.c_str(), nullptr));
  ASSERT_TRUE(写文件(目标目录 + L"\\keep", "k"));
  if (!::CreateSymbolicLinkW(链接.c_str(), 目标目录.c_str(),
                             SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE)) {
    GTEST_SKIP() << "creating a symbolic link needs developer mode or the privilege, error "
                 << ::GetLastError();
  }
  文件信息 信息;
  ASSERT_TRUE(表().查询(链接, &信息));
  EXPECT_TRUE(信息.是链接);
  std::vector<目录项> 项;
  ASSERT_TRUE(表().枚举目录(目录.路径(), &项));
  ASSERT_EQ(项.size(), 2u);
  for (const 目录项& 条目 : 项) EXPECT_EQ(条目.是链接, 条目.名称 == L"link");
  EXPECT_FALSE(表().复制文件不覆盖(链接, 目录.下(L"copy")));
  EXPECT_TRUE(表().删除文件(链接));
  EXPECT_FALSE(存在(链接));
  EXPECT_EQ(读文件(目标目录 + L"\\keep"), "k");
}

}  // namespace
}  // namespace tallybell::platform
