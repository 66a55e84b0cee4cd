// The service's notion of now. Tests and rehearsals replace it with a file holding the
// time, so a plan's steps and silent installations can be driven without waiting days.
#pragma once

#include <cstdint>
#include <string>

namespace tallybell::服务 {

class 服务时钟 {
 public:
  // 时钟文件 empty: the system clock. Otherwise the file's decimal seconds since 1970,
  // read on every call; while it cannot be read the system clock stands in.
  explicit 服务时钟(std::string 时钟文件 = {}) : 时钟文件_(std::move(时钟文件)) {}
  std::uint64_t 现在() const;

 private:
  std::string 时钟文件_;
};

}  // namespace tallybell::服务
