// The file-system call table on Windows: thin wrappers around the Win32 file functions.
// Every path reaches the wide ("W") functions in its extended form, so no length limit of
// the old API applies.
#include "platform/file_system.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>

#include "platform/windows/handles_win.h"
#include "platform/windows/long_path_win.h"
#include "platform/windows/win32_file_calls_win.h"

namespace tallybell::platform {
namespace {

using windows::Win32文件调用;
using windows::查找句柄;
using windows::长路径形式;

HANDLE 句柄值(原生文件 文件) { return reinterpret_cast<HANDLE>(文件); }

// ReadFile and WriteFile take a 32-bit length; callers pass at most one chunk, so a larger
// request is simply served partly, like a short read or write.
DWORD 截到DWORD(std::size_t 长度) {
  return static_cast<DWORD>(std::min<std::size_t>(长度, MAXDWORD));
}

bool 打开(const std::wstring& 给定路径, 打开模式 模式, 原生文件* 输出) {
  const std::wstring 路径 = 长路径形式(给定路径);
  DWORD 访问 = 0, 共享 = 0, 处置 = 0, 标志 = FILE_ATTRIBUTE_NORMAL;
  switch (模式) {
    case 打开模式::读取已有:
      访问 = GENERIC_READ;
      共享 = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
      处置 = OPEN_EXISTING;
      break;
    case 打开模式::顺序读取已有:
      // No FILE_SHARE_WRITE: opening fails while another handle may still write.
      访问 = GENERIC_READ;
      共享 = FILE_SHARE_READ | FILE_SHARE_DELETE;
      处置 = OPEN_EXISTING;
      标志 = FILE_FLAG_SEQUENTIAL_SCAN;
      break;
    case 打开模式::独占新建写入:
      访问 = GENERIC_WRITE;
      共享 = 0;
      处置 = CREATE_NEW;
      break;
    case 打开模式::读写打开或新建:
      访问 = GENERIC_READ | GENERIC_WRITE;
      共享 = FILE_SHARE_READ;
      处置 = OPEN_ALWAYS;
      break;
  }
  HANDLE 句柄 = Win32文件调用().CreateFileW(路径.c_str(), 访问, 共享, nullptr, 处置, 标志, nullptr);
  if (句柄 == INVALID_HANDLE_VALUE) return false;
  *输出 = reinterpret_cast<原生文件>(句柄);
  return true;
}

bool 读取(原生文件 文件, void* 缓冲, std::size_t 容量, std::size_t* 已读) {
  DWORD 读到 = 0;
  *已读 = 0;
  if (!::ReadFile(句柄值(文件), 缓冲, 截到DWORD(容量), &读到, nullptr)) return false;
  *已读 = 读到;
  return true;
}

bool 写入(原生文件 文件, const void* 数据, std::size_t 长度, std::size_t* 已写) {
  DWORD 写了 = 0;
  *已写 = 0;
  if (!::WriteFile(句柄值(文件), 数据, 截到DWORD(长度), &写了, nullptr)) return false;
  *已写 = 写了;
  return true;
}

bool 刷新(原生文件 文件) { return ::FlushFileBuffers(句柄值(文件)) != FALSE; }

bool 取大小(原生文件 文件, std::uint64_t* 大小) {
  LARGE_INTEGER 值{};
  if (!::GetFileSizeEx(句柄值(文件), &值)) return false;
  *大小 = static_cast<std::uint64_t>(值.QuadPart);
  return true;
}

bool 定位(原生文件 文件, std::uint64_t 偏移) {
  if (偏移 > static_cast<std::uint64_t>(INT64_MAX)) return false;
  LARGE_INTEGER 距离{};
  距离.QuadPart = static_cast<LONGLONG>(偏移);
  return ::SetFilePointerEx(句柄值(文件), 距离, nullptr, FILE_BEGIN) != FALSE;
}

bool 截断(原生文件 文件, std::uint64_t 长度) {
  if (长度 > static_cast<std::uint64_t>(INT64_MAX)) return false;
  // Unlike SetEndOfFile this leaves the file position alone, as ftruncate does on POSIX.
  FILE_END_OF_FILE_INFO 信息{};
  信息.EndOfFile.QuadPart = static_cast<LONGLONG>(长度);
  return ::SetFileInformationByHandle(句柄值(文件), FileEndOfFileInfo, &信息, sizeof 信息) != FALSE;
}

void 关闭(原生文件 文件) { ::CloseHandle(句柄值(文件)); }

void 填写属性(DWORD 属性, DWORD 大小高位, DWORD 大小低位, 文件信息* 输出) {
  输出->存在 = true;
  输出->是目录 = (属性 & FILE_ATTRIBUTE_DIRECTORY) != 0;
  输出->是链接 = (属性 & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  输出->只读 = (属性 & FILE_ATTRIBUTE_READONLY) != 0;
  输出->大小 = 输出->是目录 ? 0 : (static_cast<std::uint64_t>(大小高位) << 32) | 大小低位;
}

bool 查询(const std::wstring& 给定路径, 文件信息* 输出) {
  *输出 = 文件信息{};
  const std::wstring 路径 = 长路径形式(给定路径);
  WIN32_FILE_ATTRIBUTE_DATA 数据{};
  if (Win32文件调用().GetFileAttributesExW(路径.c_str(), GetFileExInfoStandard, &数据)) {
    填写属性(数据.dwFileAttributes, 数据.nFileSizeHigh, 数据.nFileSizeLow, 输出);
    return true;
  }
  DWORD 错误 = ::GetLastError();
  // A file held open without sharing (a page file, for instance) refuses the attribute
  // query but still shows up in its directory listing. Wildcards would match other names.
  if ((错误 == ERROR_SHARING_VIOLATION || 错误 == ERROR_ACCESS_DENIED) &&
      给定路径.find_first_of(L"*?") == std::wstring::npos) {
    WIN32_FIND_DATAW 项{};
    查找句柄 查找(Win32文件调用().FindFirstFileW(路径.c_str(), &项));
    if (查找) {
      填写属性(项.dwFileAttributes, 项.nFileSizeHigh, 项.nFileSizeLow, 输出);
      return true;
    }
  }
  输出->错误码 = 错误;
  输出->不存在 = 错误 == ERROR_FILE_NOT_FOUND || 错误 == ERROR_PATH_NOT_FOUND;
  return false;
}

bool 创建目录(const std::wstring& 给定路径, bool* 已存在) {
  const std::wstring 路径 = 长路径形式(给定路径);
  if (已存在 != nullptr) *已存在 = false;
  if (Win32文件调用().CreateDirectoryW(路径.c_str(), nullptr)) return true;
  if (已存在 != nullptr && ::GetLastError() == ERROR_ALREADY_EXISTS) *已存在 = true;
  return false;
}

bool 删除文件(const std::wstring& 给定路径) {
  const std::wstring 路径 = 长路径形式(给定路径);
  if (Win32文件调用().DeleteFileW(路径.c_str())) return true;
  DWORD 错误 = ::GetLastError();
  // A directory symbolic link or junction is removed as a directory; its target is
  // never touched.
  DWORD 属性 = Win32文件调用().GetFileAttributesW(路径.c_str());
  if (属性 != INVALID_FILE_ATTRIBUTES && (属性 & FILE_ATTRIBUTE_DIRECTORY) &&
      (属性 & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return Win32文件调用().RemoveDirectoryW(路径.c_str()) != FALSE;
  }
  ::SetLastError(错误);
  return false;
}

bool 删除目录(const std::wstring& 路径) {
  return Win32文件调用().RemoveDirectoryW(长路径形式(路径).c_str()) != FALSE;
}

bool 清除只读(const std::wstring& 给定路径) {
  const std::wstring 路径 = 长路径形式(给定路径);
  DWORD 属性 = Win32文件调用().GetFileAttributesW(路径.c_str());
  if (属性 == INVALID_FILE_ATTRIBUTES) return false;
  if ((属性 & FILE_ATTRIBUTE_READONLY) == 0) return true;
  属性 &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
  // An attribute set of zero is not accepted; "normal" is its spelling.
  if (属性 == 0) 属性 = FILE_ATTRIBUTE_NORMAL;
  return Win32文件调用().SetFileAttributesW(路径.c_str(), 属性) != FALSE;
}

bool 移动不替换(const std::wstring& 源, const std::wstring& 目标) {
  return Win32文件调用().MoveFileExW(长路径形式(源).c_str(), 长路径形式(目标).c_str(), MOVEFILE_WRITE_THROUGH) != FALSE;
}

bool 移动并替换(const std::wstring& 源, const std::wstring& 目标) {
  return Win32文件调用().MoveFileExW(长路径形式(源).c_str(), 长路径形式(目标).c_str(),
                                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

bool 替换并备份(const std::wstring& 给定目标, const std::wstring& 给定替换者, const std::wstring& 给定备份) {
  const std::wstring 目标 = 长路径形式(给定目标), 替换者 = 长路径形式(给定替换者), 备份 = 长路径形式(给定备份);
  // ReplaceFileW keeps 目标's name occupied throughout and carries its attributes over.
  // It has no working write-through flag; the replacement's data was flushed before.
  const wchar_t* 备份名 = 备份.empty() ? nullptr : 备份.c_str();
  if (Win32文件调用().ReplaceFileW(目标.c_str(), 替换者.c_str(), 备份名, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
    return true;
  }
  const DWORD 错误 = ::GetLastError();
  // Two failures happen after the old file has already left 目标's name. Without a
  // backup name it is gone for good, so moving the replacement in completes the job;
  // with one it sits at the backup name and is put back, so 目标 keeps its old content.
  if (错误 == ERROR_UNABLE_TO_MOVE_REPLACEMENT && 备份名 == nullptr) {
    return Win32文件调用().MoveFileExW(替换者.c_str(), 目标.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) !=
           FALSE;
  }
  if (错误 == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 && 备份名 != nullptr) {
    Win32文件调用().MoveFileExW(备份名, 目标.c_str(), MOVEFILE_WRITE_THROUGH);
  }
  ::SetLastError(错误);
  return false;
}

bool 复制文件不覆盖(const std::wstring& 给定源, const std::wstring& 给定目标) {
  const std::wstring 源 = 长路径形式(给定源), 目标 = 长路径形式(给定目标);
  // Only regular files are copied: CopyFileW would follow a link and copy its target.
  DWORD 属性 = Win32文件调用().GetFileAttributesW(源.c_str());
  if (属性 == INVALID_FILE_ATTRIBUTES) return false;
  if (属性 & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  return Win32文件调用().CopyFileW(源.c_str(), 目标.c_str(), TRUE) != FALSE;
}

bool 枚举目录(const std::wstring& 路径, std::vector<目录项>* 输出) {
  输出->clear();
  if (路径.empty()) return false;
  // A junction or symbolic link in place of the directory is never listed through.
  std::wstring 模式 = 长路径形式(路径);
  const DWORD 属性 = Win32文件调用().GetFileAttributesW(模式.c_str());
  if (属性 != INVALID_FILE_ATTRIBUTES && (属性 & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    ::SetLastError(ERROR_CANT_ACCESS_FILE);
    return false;
  }
  if (模式.back() != L'\\' && 模式.back() != L'/') 模式 += L'\\';
  模式 += L'*';
  WIN32_FIND_DATAW 项{};
  查找句柄 查找(Win32文件调用().FindFirstFileW(模式.c_str(), &项));
  if (!查找) {
    // A drive root has no "." or "..", so an empty one finds nothing at all.
    return ::GetLastError() == ERROR_FILE_NOT_FOUND;
  }
  do {
    std::wstring 名称(项.cFileName);
    if (名称 == L"." || 名称 == L"..") continue;
    目录项 条目;
    条目.名称 = std::move(名称);
    条目.是目录 = (项.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    条目.是链接 = (项.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    输出->push_back(std::move(条目));
  } while (::FindNextFileW(查找.get(), &项));
  if (::GetLastError() != ERROR_NO_MORE_FILES) {
    输出->clear();
    return false;
  }
  return true;
}

文件调用表 建立系统调用表() {
  文件调用表 表{};
  表.打开 = 打开;
  表.读取 = 读取;
  表.写入 = 写入;
  表.刷新 = 刷新;
  表.取大小 = 取大小;
  表.定位 = 定位;
  表.截断 = 截断;
  表.关闭 = 关闭;
  表.查询 = 查询;
  表.创建目录 = 创建目录;
  表.删除文件 = 删除文件;
  表.删除目录 = 删除目录;
  表.清除只读 = 清除只读;
  表.移动不替换 = 移动不替换;
  表.移动并替换 = 移动并替换;
  表.替换并备份 = 替换并备份;
  表.复制文件不覆盖 = 复制文件不覆盖;
  表.枚举目录 = 枚举目录;
  return 表;
}

}  // namespace

const 文件调用表& 系统文件调用表() {
  static const 文件调用表 表 = 建立系统调用表();
  return 表;
}

文件调用表& 文件调用() {
  static 文件调用表 表 = 系统文件调用表();
  return 表;
}

}  // namespace tallybell::platform
