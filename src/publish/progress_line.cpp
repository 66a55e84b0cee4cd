#include "publish/progress_line.h"

#include <cstdio>

#include "platform/clock.h"
#include "platform/console.h"

namespace tallybell {
namespace {

// Nothing is drawn before this, so a build that hashes in a moment prints nothing.
constexpr std::uint64_t 首次绘制毫秒 = 500;
constexpr std::uint64_t 绘制间隔毫秒 = 200;

std::string 兆字节(std::uint64_t 字节) {
  char 缓冲[32];
  std::snprintf(缓冲, sizeof 缓冲, "%.1f MiB", static_cast<double>(字节) / 1048576.0);
  return 缓冲;
}

}  // namespace

进度行::进度行(const char* 动作, std::uint64_t 总字节, bool 启用)
    : 动作_(动作), 总字节_(总字节), 启用_(启用), 开始_(platform::毫秒计时()) {}

std::string 进度行::格式化(const char* 动作, std::uint64_t 已完成, std::uint64_t 总字节, std::uint64_t 毫秒) {
  const unsigned 百分比 = 总字节 == 0 ? 100u : static_cast<unsigned>(已完成 * 100.0 / static_cast<double>(总字节));
  const std::uint64_t 每秒 = 毫秒 == 0 ? 0 : static_cast<std::uint64_t>(已完成 * 1000.0 / static_cast<double>(毫秒));
  return std::string(动作) + " " + 兆字节(已完成) + " of " + 兆字节(总字节) + " (" + std::to_string(百分比) +
         "%), " + 兆字节(每秒) + "/s";
}

void 进度行::前进(std::uint64_t 字节) {
  已完成_ += 字节;
  if (!启用_ || 已结束_) return;
  const std::uint64_t 现在 = platform::毫秒计时();
  if (现在 - 开始_ < 首次绘制毫秒 || (已绘制_ && 现在 - 上次绘制_ < 绘制间隔毫秒)) return;
  上次绘制_ = 现在;
  绘制();
}

void 进度行::绘制() {
  std::string 文本 = 格式化(动作_, 已完成_, 总字节_, platform::毫秒计时() - 开始_);
  const std::size_t 长度 = 文本.size();
  // Blanks over what a longer previous line left; no terminal control sequences, so the
  // Windows console shows the same.
  if (长度 < 上次长度_) 文本.append(上次长度_ - 长度, ' ');
  上次长度_ = 长度;
  文本.insert(0, "\r");
  platform::写标准错误(文本.data(), 文本.size());
  已绘制_ = true;
}

void 进度行::结束() {
  if (已结束_) return;
  已结束_ = true;
  if (!已绘制_) return;
  绘制();
  platform::写标准错误("\n", 1);
}

}  // namespace tallybell
