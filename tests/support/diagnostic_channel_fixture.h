// Creates a diagnostic channel the way the launching application does (shared memory of
// 诊断视图字节数 bytes plus its lock, zero-filled), so that tests can write through the
// real channel and read back what the application would see. On POSIX it lives in a
// private lock namespace, so fixtures may nest as locals but only the newest is reachable.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/diagnostic_memory.h"
#include "support/lock_holder.h"
#include "support/lock_namespace.h"

namespace tallybell::测试 {

// The per-OS part: creates the channel's mapping and lock as the application does and
// returns the mapped view (null on failure); *持有 keeps all of it until it goes.
unsigned char* 创建应用诊断通道(const std::string& 标识, std::shared_ptr<void>* 持有);

class 测试诊断通道 {
 public:
  explicit 测试诊断通道(const std::string& 标识) : 标识_(标识), 视图_(创建应用诊断通道(标识, &应用_)) {}

  // Whether the mapping and the lock were created and the view mapped.
  bool 已创建() const { return 视图_ != nullptr; }
  // The application's own view of the shared memory (null when not created).
  unsigned char* 视图() const { return 视图_; }

  // Another holder of the channel's lock, as the application would be: 别处持锁(true)
  // takes it and keeps it, 别处持锁(false) gives it back. 锁持有者死去() has it taken by a
  // holder that then dies holding it.
  bool 别处持锁(bool 持有) {
    别处_.reset();
    if (持有) 别处_ = std::make_unique<持锁线程>(通道锁());
    return !持有 || 别处_->已取得();
  }
  bool 锁持有者死去() { return 持锁后死去(通道锁()); }

  std::uint32_t 已用() const { return 读u32(0); }
  std::uint32_t 截断标志() const { return 读u32(4); }
  // The text bytes from the start of the buffer up to the used count.
  std::string 文本() const {
    return 视图_ == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(视图_ + 8), 已用());
  }

 private:
  std::uint32_t 读u32(std::size_t 偏移) const {
    std::uint32_t 值 = 0;  // little endian
    for (int i = 3; 视图_ != nullptr && i >= 0; --i) 值 = 值 << 8 | 视图_[偏移 + static_cast<std::size_t>(i)];
    return 值;
  }
  // The holder opens the channel as the update core does and takes its lock.
  取锁方法 通道锁() const {
    return [标识 = 标识_]() -> std::shared_ptr<void> {
      auto 通道 = std::make_shared<platform::诊断共享内存>();
      通道->打开(标识);
      return 通道->加锁(0) == platform::加锁结果::取得 ? 通道 : nullptr;
    };
  }

  // Destroyed in reverse: the other holder first, then the channel, then its namespace.
  私有锁命名空间 命名空间_;
  std::string 标识_;
  std::shared_ptr<void> 应用_;
  unsigned char* 视图_;
  std::unique_ptr<持锁线程> 别处_;
};

}  // namespace tallybell::测试
