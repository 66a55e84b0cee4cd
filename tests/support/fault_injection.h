// Makes the Nth file-system call of the update core fail, the way SQLite's test layer does,
// so a test can prove that an interrupted operation loses nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/file_system.h"

namespace tallybell::测试 {

enum class 故障类型 {
  调用失败,  // the call reports failure (disk full, I/O error, failed flush or rename)
  短写,      // a write stores only part of its bytes and reports that; other calls fail
};

// While alive, every call through platform::文件调用() is counted; the call numbered
// 故障序号 (1-based) fails as 类型 says. 故障序号 0 only counts. Restores the real table.
class 文件故障注入 {
 public:
  explicit 文件故障注入(std::uint64_t 故障序号 = 0, 故障类型 类型 = 故障类型::调用失败);
  // Fails the first call of the named entry (for example "替换并备份") instead.
  explicit 文件故障注入(const std::string& 调用名称);
  ~文件故障注入();
  文件故障注入(const 文件故障注入&) = delete;
  文件故障注入& operator=(const 文件故障注入&) = delete;

  std::uint64_t 调用次数() const;
  bool 已注入() const;
  // The name of the entry that received the fault, e.g. "写入"; empty before.
  std::string 故障调用() const;
};

}  // namespace tallybell::测试
