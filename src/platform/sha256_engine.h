// The platform's SHA-256 implementation behind one small RAII type.
#pragma once

#include <cstddef>
#include <memory>

namespace tallybell::platform {

class SHA256引擎 {
 public:
  SHA256引擎();
  ~SHA256引擎();
  SHA256引擎(const SHA256引擎&) = delete;
  SHA256引擎& operator=(const SHA256引擎&) = delete;

  // Sets up the provider and a fresh hash; false when the platform refuses.
  bool 开始();
  // Adds up to 4 GiB - 1 bytes; larger inputs are refused (the Windows call takes a
  // 32-bit length).
  bool 更新(const void* 数据, std::size_t 长度);
  // Writes the 32-byte digest; the engine must be started again before reuse.
  bool 完成(unsigned char 摘要[32]);

 private:
  struct 状态;
  std::unique_ptr<状态> 状态_;
};

}  // namespace tallybell::platform
