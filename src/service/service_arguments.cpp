#include "service/service_arguments.h"

#include <cstdlib>

namespace tallybell::服务 {

bool 命令参数::解析(int argc, char** argv, int 起始, const std::set<std::string>& 选项,
                    const std::set<std::string>& 标志, std::string* 错误) {
  for (int i = 起始; i < argc; ++i) {
    const std::string 词 = argv[i];
    if (词.rfind("--", 0) != 0) {
      位置_.push_back(词);
      continue;
    }
    const std::string 名称 = 词.substr(2);
    if (标志.count(名称)) {
      标志_.insert(名称);
    } else if (选项.count(名称)) {
      if (i + 1 >= argc) {
        *错误 = "option " + 词 + " needs a value";
        return false;
      }
      值_[名称] = argv[++i];
    } else {
      *错误 = "unknown option " + 词;
      return false;
    }
  }
  return true;
}

std::string 命令参数::取(const std::string& 名称, const std::string& 缺省) const {
  const auto 项 = 值_.find(名称);
  return 项 == 值_.end() ? 缺省 : 项->second;
}

bool 命令参数::取数(const std::string& 名称, std::uint64_t 最小, std::uint64_t 最大,
                    std::optional<std::uint64_t>* 值, std::string* 错误) const {
  const auto 项 = 值_.find(名称);
  if (项 == 值_.end()) return true;
  const std::string& 文本 = 项->second;
  const std::uint64_t 数 = std::strtoull(文本.c_str(), nullptr, 10);
  if (文本.empty() || 文本.size() > 19 || 文本.find_first_not_of("0123456789") != std::string::npos || 数 < 最小 ||
      数 > 最大) {
    *错误 = "--" + 名称 + " needs a whole number from " + std::to_string(最小) + " to " + std::to_string(最大);
    return false;
  }
  *值 = 数;
  return true;
}

}  // namespace tallybell::服务
