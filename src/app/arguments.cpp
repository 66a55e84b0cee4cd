#include "app/arguments.h"

namespace tallybell {

bool 命令行参数::有标志(const wchar_t* 名称) const {
  for (const auto& 参数 : 参数_) {
    if (参数 == 名称) return true;
  }
  return false;
}

std::optional<std::wstring> 命令行参数::值(const wchar_t* 名称) const {
  for (std::size_t i = 0; i + 1 < 参数_.size(); ++i) {
    if (参数_[i] == 名称) return 参数_[i + 1];
  }
  return std::nullopt;
}

std::vector<std::wstring> 命令行参数::结果地址() const {
  std::vector<std::wstring> 结果;
  for (std::size_t i = 0; i + 1 < 参数_.size(); ++i) {
    if (参数_[i] == L"--result-url") {
      结果.push_back(参数_[i + 1]);
      ++i;
    }
  }
  return 结果;
}

}  // namespace tallybell
