#include "service/service_clock.h"

#include <chrono>
#include <cstdlib>
#include <fstream>

namespace tallybell::服务 {

std::uint64_t 服务时钟::现在() const {
  if (!时钟文件_.empty()) {
    std::ifstream 文件(时钟文件_);
    std::string 文本;
    if (文件 >> 文本 && !文本.empty() && 文本.find_first_not_of("0123456789") == std::string::npos) {
      return std::strtoull(文本.c_str(), nullptr, 10);
    }
  }
  const auto 时长 = std::chrono::system_clock::now().time_since_epoch();
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::seconds>(时长).count());
}

}  // namespace tallybell::服务
