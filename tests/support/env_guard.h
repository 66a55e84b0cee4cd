// Sets an environment variable while it lives and restores the previous value, or its
// absence, afterwards; guards nest as locals. The one place tests change the environment.
#pragma once

#include <optional>
#include <string>

namespace tallybell::测试 {

class 环境变量守卫 {
 public:
  // 值 nullopt: the variable is removed while the guard lives.
  环境变量守卫(std::string 名称, const std::optional<std::string>& 值);
  ~环境变量守卫();
  环境变量守卫(const 环境变量守卫&) = delete;
  环境变量守卫& operator=(const 环境变量守卫&) = delete;

 private:
  std::string 名称_;
  std::optional<std::string> 原值_;
};

}  // namespace tallybell::测试
