#include "support/test_service.h"

#include <cctype>

namespace tallybell::测试 {
namespace {

bool 名称相同(const std::string& 甲, const std::string& 乙) {
  if (甲.size() != 乙.size()) return false;
  for (std::size_t i = 0; i < 甲.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(甲[i])) != std::tolower(static_cast<unsigned char>(乙[i]))) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::string 记录的请求::请求头(const std::string& 名称) const {
  for (const auto& [键, 值] : headers) {
    if (名称相同(键, 名称)) return 值;
  }
  return {};
}

bool 记录的请求::有请求头(const std::string& 名称) const {
  for (const auto& 项 : headers) {
    if (名称相同(项.first, 名称)) return true;
  }
  return false;
}

}  // namespace tallybell::测试
