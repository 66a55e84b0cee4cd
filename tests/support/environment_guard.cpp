#include "support/environment_guard.h"

namespace tallybell::测试 {

void 写环境变量(const std::string& 名称, const std::optional<std::string>& 值);

环境变量保护::~环境变量保护() {
  for (auto 项 = 原值_.rbegin(); 项 != 原值_.rend(); ++项) 写环境变量(项->first, 项->second);
}

void 环境变量保护::设置(const std::string& 名称, const std::optional<std::string>& 值) {
  原值_.emplace_back(名称, 读环境变量(名称));
  写环境变量(名称, 值);
}

}  // namespace tallybell::测试
