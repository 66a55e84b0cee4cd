// Makes the Nth file-system call of the update core fail, the way SQLite's test layer does,
// so a test can prove that an interrupted operation loses nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/file_system.h"

namespace tallybell::测试 {

// The first two kinds count every call; the others count only the calls they can hit, so
// that "the Nth flush" or "the Nth rename" can be chosen directly.
enum class 故障类型 {
  调用失败,  // the call reports failure (disk full, I/O error, failed flush or rename)
  短写,      // a write stores only part of its bytes and reports that; other calls fail
  // Calls that take space (creating opens, writes, flushes, size changes, new directories,
  // renames and copies) fail with the system's "disk full" code.
  磁盘已满,
  // Any call but a close fails with the system's I/O error code.
  输入输出错误,
  // Writes only: the write stores about half of its bytes and reports that.
  写入不足,
  // Flushes only: the flush reports an I/O error.
  刷新失败,
  // Renames only (move without replace, move with replace, replace with backup).
  重命名失败,
};

// While alive, every call through platform::文件调用() is counted; the call numbered
// 故障序号 (1-based, among the calls the kind applies to) fails as 类型 says. 故障序号 0 only
// counts. With 持续 every later applicable call fails as well (a disk that stays full).
// Restores the real table.
class 文件故障注入 {
 public:
  explicit 文件故障注入(std::uint64_t 故障序号 = 0, 故障类型 类型 = 故障类型::调用失败, bool 持续 = false);
  // Fails the first call of the named entry (for example "替换并备份") instead.
  explicit 文件故障注入(const std::string& 调用名称);
  ~文件故障注入();
  文件故障注入(const 文件故障注入&) = delete;
  文件故障注入& operator=(const 文件故障注入&) = delete;

  std::uint64_t 调用次数() const;
  // Calls the kind applies to (all calls for the first two kinds).
  std::uint64_t 适用调用次数() const;
  bool 已注入() const;
  // Faults injected so far (more than one only with 持续).
  std::uint64_t 注入次数() const;
  // The name of the entry that received the (first) fault, e.g. "写入"; empty before.
  std::string 故障调用() const;
};

// Sets the platform's last error (errno, or the thread's last error on Windows) to the
// code of "disk full" or "I/O error" and returns it.
std::uint32_t 设置模拟系统错误(故障类型 类型);

}  // namespace tallybell::测试
