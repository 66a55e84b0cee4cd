// Every file-system call of the update core goes through one replaceable table, so that
// a test can make the Nth call fail (disk full, I/O error, short write, failed flush,
// failed rename) and then check that nothing was lost. The portable code never calls the
// operating system for files directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tallybell::platform {

// A file descriptor on POSIX, a HANDLE value on Windows.
using 原生文件 = std::intptr_t;
inline constexpr 原生文件 无效文件 = -1;

enum class 打开模式 {
  // Existing file, read access, others may read, write and delete meanwhile.
  读取已有,
  // Existing file, read access with a sequential-scan hint; others may read and delete
  // but not write, so a file that is being written cannot be hashed by mistake.
  顺序读取已有,
  // New file only (fails when anything exists at the path), write access, no sharing.
  独占新建写入,
  // Read and write, created when missing, existing content kept.
  读写打开或新建,
};

struct 文件信息 {
  bool 存在 = false;
  bool 是目录 = false;
  bool 是链接 = false;  // symbolic link or other reparse point; never followed
  bool 只读 = false;
  std::uint64_t 大小 = 0;
  std::uint32_t 错误码 = 0;  // system error of a failed query (errno on POSIX)
  // The query failed because the path, or a folder on its way, does not exist: the one
  // failure after which "absent" is known rather than guessed.
  bool 不存在 = false;
};

struct 目录项 {
  std::wstring 名称;
  bool 是目录 = false;
  bool 是链接 = false;
};

struct 文件调用表 {
  // Opens path; on success *输出 owns a handle that must go through 关闭.
  bool (*打开)(const std::wstring& 路径, 打开模式 模式, 原生文件* 输出);
  // Reads up to 容量 bytes; *已读 == 0 with true means end of file.
  bool (*读取)(原生文件 文件, void* 缓冲, std::size_t 容量, std::size_t* 已读);
  // Writes once; *已写 may be less than 长度 (a short write), which the caller treats as
  // a failure.
  bool (*写入)(原生文件 文件, const void* 数据, std::size_t 长度, std::size_t* 已写);
  // Flushes the file's data and metadata to the device.
  bool (*刷新)(原生文件 文件);
  bool (*取大小)(原生文件 文件, std::uint64_t* 大小);
  // Moves the file position to an absolute offset.
  bool (*定位)(原生文件 文件, std::uint64_t 偏移);
  // Cuts or extends the file to 长度 bytes.
  bool (*截断)(原生文件 文件, std::uint64_t 长度);
  void (*关闭)(原生文件 文件);

  // Attributes without following a link. False (with 错误码 set) when the query fails;
  // a missing entry is false with 存在 = false and the system's "not found" code.
  bool (*查询)(const std::wstring& 路径, 文件信息* 输出);
  // Creates one directory level; *已存在 is set when something already exists there.
  bool (*创建目录)(const std::wstring& 路径, bool* 已存在);
  bool (*删除文件)(const std::wstring& 路径);   // also removes a link itself
  bool (*删除目录)(const std::wstring& 路径);   // empty directories only
  bool (*清除只读)(const std::wstring& 路径);
  // Renames a file or directory, never replacing an existing target, and makes the new
  // name durable before returning.
  bool (*移动不替换)(const std::wstring& 源, const std::wstring& 目标);
  // Renames a file over an existing one, durably.
  bool (*移动并替换)(const std::wstring& 源, const std::wstring& 目标);
  // Replaces 目标 by 替换者 so that 目标 never disappears; when 备份 is non-empty the old
  // 目标 ends up there (an existing backup is overwritten).
  bool (*替换并备份)(const std::wstring& 目标, const std::wstring& 替换者, const std::wstring& 备份);
  // Copies a regular file; fails when 目标 exists.
  bool (*复制文件不覆盖)(const std::wstring& 源, const std::wstring& 目标);
  // Lists the entries of a directory without "." and "..". A 路径 that is itself a link
  // fails instead of listing the link's target.
  bool (*枚举目录)(const std::wstring& 路径, std::vector<目录项>* 输出);
};

// The platform's real calls.
const 文件调用表& 系统文件调用表();

// The table in use. Tests replace entries and must restore 系统文件调用表() afterwards.
文件调用表& 文件调用();

// Owns one open file; closed through the table on every path. The same words as every
// other owner: 有效, get, 重置.
class 文件 {
 public:
  文件() = default;
  explicit 文件(原生文件 句柄) : 句柄_(句柄) {}
  ~文件() { 重置(); }
  文件(const 文件&) = delete;
  文件& operator=(const 文件&) = delete;
  文件(文件&& 其他) noexcept : 句柄_(其他.句柄_) { 其他.句柄_ = 无效文件; }
  文件& operator=(文件&& 其他) noexcept {
    if (this != &其他) {
      重置();
      句柄_ = 其他.句柄_;
      其他.句柄_ = 无效文件;
    }
    return *this;
  }

  // Opens 路径; false leaves this object closed.
  bool 打开(const std::wstring& 路径, 打开模式 模式) {
    重置();
    原生文件 新句柄 = 无效文件;
    if (!文件调用().打开(路径, 模式, &新句柄)) return false;
    句柄_ = 新句柄;
    return true;
  }
  bool 有效() const { return 句柄_ != 无效文件; }
  原生文件 get() const { return 句柄_; }
  // Closes now rather than at the end of the scope.
  void 重置() {
    if (句柄_ != 无效文件) {
      文件调用().关闭(句柄_);
      句柄_ = 无效文件;
    }
  }

 private:
  原生文件 句柄_ = 无效文件;
};

}  // namespace tallybell::platform
