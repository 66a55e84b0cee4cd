// The one rule for handing a download's body to the task: in batches of 8 MiB, or sooner
// once bytes have waited a second, and whatever arrived when the transfer ends, well or
// not. Every batch costs the task a flush of .part and a checkpoint replacement, so
// batches much larger than what an HTTP library reads at a time keep the transfer near
// disk speed on both platforms, while the time limit keeps a slow server from holding
// bytes (and the task's own time limit) back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "transport/download_transport.h"

namespace tallybell {

class 正文分批 {
 public:
  static constexpr std::size_t 默认批量字节 = 8u << 20;
  static constexpr std::size_t 最大批量字节 = 64u << 20;
  static constexpr std::uint64_t 最长滞留毫秒 = 1000;

  // 批量字节 0 means the default; more than the largest is taken as the largest.
  正文分批(const 下载数据回调& 回调, std::size_t 批量字节, std::wstring* 错误);

  // The body begins now (the head was accepted).
  void 开始();
  // Adds bytes, handing over every full batch and, once the oldest bytes waited too long,
  // the rest. False when the callback refused a batch; its message is then in place.
  bool 追加(const unsigned char* 数据, std::size_t 长度);
  // Hands over what waited too long; for calls while nothing arrives.
  bool 到期则交付();
  // Hands over everything held.
  bool 交付();

 private:
  const 下载数据回调& 回调_;
  std::size_t 批量字节_;
  std::wstring* 错误_;
  std::vector<unsigned char> 缓冲_;
  std::uint64_t 上次交付_ = 0;
};

}  // namespace tallybell
