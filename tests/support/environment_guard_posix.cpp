#include <cstdlib>

#include "support/environment_guard.h"

namespace tallybell::测试 {

void 写环境变量(const std::string& 名称, const std::optional<std::string>& 值) {
  值 ? ::setenv(名称.c_str(), 值->c_str(), 1) : ::unsetenv(名称.c_str());
}

std::optional<std::string> 读环境变量(const std::string& 名称) {
  const char* 值 = std::getenv(名称.c_str());
  return 值 != nullptr ? std::optional<std::string>(值) : std::nullopt;
}

}  // namespace tallybell::测试
