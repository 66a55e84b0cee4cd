// Creates a diagnostic channel the way the launching application does (shared memory of
// 诊断视图字节数 bytes plus its lock, zero-filled), so that tests can write through the
// real channel and read back what the application would see. On POSIX it points the
// per-user namespace at a private directory while it lives and restores the previous
// setting afterwards, so fixtures may nest as locals but only the newest is reachable.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace tallybell::测试 {

class 测试诊断通道 {
 public:
  explicit 测试诊断通道(const std::string& 标识);
  ~测试诊断通道();
  测试诊断通道(const 测试诊断通道&) = delete;
  测试诊断通道& operator=(const 测试诊断通道&) = delete;

  // Whether the mapping and the lock were created and the view mapped.
  bool 已创建() const;
  // The application's own view of the shared memory (null when not created).
  unsigned char* 视图() const;

  // Another holder of the channel's lock, as the application would be: 别处持锁(true)
  // takes it and keeps it, 别处持锁(false) gives it back. 锁持有者死去() has it taken by a
  // holder that then dies holding it (a process on POSIX, a thread on Windows).
  bool 别处持锁(bool 持有);
  bool 锁持有者死去();

  std::uint32_t 已用() const { return 读u32(0); }
  std::uint32_t 截断标志() const { return 读u32(4); }
  // The text bytes from the start of the buffer up to the used count.
  std::string 文本() const {
    const std::uint32_t 长度 = 已用();
    return 视图() == nullptr ? std::string()
                             : std::string(reinterpret_cast<const char*>(视图() + 8), 长度);
  }

 private:
  std::uint32_t 读u32(std::size_t 偏移) const {
    const unsigned char* 位置 = 视图();
    if (位置 == nullptr) return 0;
    位置 += 偏移;
    return static_cast<std::uint32_t>(位置[0]) | static_cast<std::uint32_t>(位置[1]) << 8 |
           static_cast<std::uint32_t>(位置[2]) << 16 | static_cast<std::uint32_t>(位置[3]) << 24;
  }

  struct 实现;
  std::unique_ptr<实现> 实现_;
};

}  // namespace tallybell::测试
