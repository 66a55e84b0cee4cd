#include "support/env_guard.h"

#include <cstdlib>

namespace tallybell::测试 {
namespace {
void 设置(const std::string& 名称, const std::optional<std::string>& 值) {
  if (值) {
    ::setenv(名称.c_str(), 值->c_str(), 1);
  } else {
    ::unsetenv(名称.c_str());
  }
}
}  // namespace

环境变量守卫::环境变量守卫(std::string 名称, const std::optional<std::string>& 值) : 名称_(std::move(名称)) {
  if (const char* 原值 = std::getenv(名称_.c_str())) 原值_ = 原值;
  设置(名称_, 值);
}

环境变量守卫::~环境变量守卫() { 设置(名称_, 原值_); }

}  // namespace tallybell::测试
