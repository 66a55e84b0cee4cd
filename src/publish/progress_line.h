// A self-overwriting progress line on standard error (bytes done, total, rate) while a
// long pass over a build runs. It draws only when standard error is a terminal and only
// after the pass has run a while, so small builds, pipes and logs stay silent.
#pragma once

#include <cstdint>
#include <string>

namespace tallybell {

class 进度行 {
 public:
  // 启用 is normally platform::标准错误是终端().
  进度行(const char* 动作, std::uint64_t 总字节, bool 启用);
  ~进度行() { 结束(); }
  进度行(const 进度行&) = delete;
  进度行& operator=(const 进度行&) = delete;

  void 前进(std::uint64_t 字节);
  // Draws the final state and ends the line, if anything was drawn at all.
  void 结束();

  // The text of one line, for example "hashing 12.0 MiB of 256.0 MiB (4%), 85.3 MiB/s".
  static std::string 格式化(const char* 动作, std::uint64_t 已完成, std::uint64_t 总字节, std::uint64_t 毫秒);

 private:
  void 绘制();

  const char* 动作_;
  std::uint64_t 总字节_;
  bool 启用_;
  std::uint64_t 已完成_ = 0;
  std::uint64_t 开始_ = 0;
  std::uint64_t 上次绘制_ = 0;
  std::size_t 上次长度_ = 0;
  bool 已绘制_ = false;
  bool 已结束_ = false;
};

}  // namespace tallybell
