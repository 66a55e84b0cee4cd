// Whole-file reads and atomic replacement of small documents.
#pragma once

#include <cstdint>
#include <string>

namespace tallybell {

// Documents larger than this are refused when read.
inline constexpr std::uint64_t 整读上限字节 = 67108864;

// Reads an existing file completely; false when it cannot be opened or read, or when it
// is larger than 整读上限字节. *输出 is only meaningful on success.
bool 读取整个文件(const std::wstring& 路径, std::string* 输出);

// After a failed 读取整个文件: true when the failure lasts, so writing a fresh file is
// right: nothing is there, or what is there no whole read can take (a folder, a link, a
// file over the limit). False when the file is there and only the read failed, for now (an
// I/O error, no free handle): it holds something a later run can still read, so it must
// not be replaced.
bool 读取失败可以重写(const std::wstring& 路径);

// True only when the attribute query fails because the path, or a folder on its way, does
// not exist; any other failure (access, I/O) leaves it unknown and answers false.
bool 确认不存在(const std::wstring& 路径);

// Writes 内容 to a unique temporary file beside 目标, flushes it and moves it into place,
// creating missing parent directories. When 目标 exists it is replaced so that it is never
// missing or partly written; a non-empty 备份 receives the previous content. On failure
// 目标 holds its old content and no temporary file is left behind.
bool 原子写入文件(const std::wstring& 目标, const std::string& 内容, const std::wstring& 备份);

// What is at 路径 itself, never what a link there points to: a link is neither a real
// directory nor a real file, so nothing reached through one is taken as part of a root.
bool 是真实目录(const std::wstring& 路径);
bool 是真实文件(const std::wstring& 路径);

// Creates the directory and every missing ancestor; true when it exists afterwards as a
// directory.
bool 创建目录树(const std::wstring& 路径);

// The unique temporary name used for 目标:
// target + ".tmp-" + pid + "-" + tid + "-" + 32-bit tick + "-" + counter.
std::wstring 临时文件名(const std::wstring& 目标);

}  // namespace tallybell
