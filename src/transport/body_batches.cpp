#include "transport/body_batches.h"

#include <algorithm>

#include "platform/clock.h"

namespace tallybell {

正文分批::正文分批(const 下载数据回调& 回调, std::size_t 批量字节, std::wstring* 错误)
    : 回调_(回调), 批量字节_(批量字节 == 0 ? 默认批量字节 : std::min(批量字节, 最大批量字节)), 错误_(错误) {}

void 正文分批::开始() {
  缓冲_.reserve(批量字节_);
  上次交付_ = platform::毫秒计时();
}

bool 正文分批::追加(const unsigned char* 数据, std::size_t 长度) {
  while (长度 > 0) {
    const std::size_t 份 = std::min(长度, 批量字节_ - 缓冲_.size());
    缓冲_.insert(缓冲_.end(), 数据, 数据 + 份);
    数据 += 份;
    长度 -= 份;
    if (缓冲_.size() == 批量字节_ && !交付()) return false;
  }
  return 到期则交付();
}

bool 正文分批::到期则交付() {
  return 缓冲_.empty() || platform::毫秒计时() - 上次交付_ < 最长滞留毫秒 || 交付();
}

bool 正文分批::交付() {
  上次交付_ = platform::毫秒计时();
  if (缓冲_.empty()) return true;
  const bool 接受 = 回调_(缓冲_.data(), 缓冲_.size(), 错误_);
  缓冲_.clear();
  return 接受;
}

}  // namespace tallybell
