// Sets or removes environment variables of this process for one scope and puts the old
// values back at its end, in reverse order.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tallybell::测试 {

// The variable's value; none when it is not set.
std::optional<std::string> 读环境变量(const std::string& 名称);
// Sets the variable of this process; no value removes it.
void 写环境变量(const std::string& 名称, const std::optional<std::string>& 值);

class 环境变量保护 {
 public:
  环境变量保护() = default;
  // One variable for the whole scope.
  环境变量保护(const std::string& 名称, const std::optional<std::string>& 值) { 设置(名称, 值); }
  ~环境变量保护() {
    for (auto 项 = 原值_.rbegin(); 项 != 原值_.rend(); ++项) 写环境变量(项->first, 项->second);
  }
  环境变量保护(const 环境变量保护&) = delete;
  环境变量保护& operator=(const 环境变量保护&) = delete;

  // No value removes the variable.
  void 设置(const std::string& 名称, const std::optional<std::string>& 值) {
    原值_.emplace_back(名称, 读环境变量(名称));
    写环境变量(名称, 值);
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> 原值_;
};

}  // namespace tallybell::测试
