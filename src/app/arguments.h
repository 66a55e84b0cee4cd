// Option matching shared by every command: exact, case-sensitive, whole-argument
// equality; no abbreviations, no "=" forms, no combined flags.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tallybell {

class 命令行参数 {
 public:
  // 参数 excludes the program name.
  explicit 命令行参数(std::vector<std::wstring> 参数) : 参数_(std::move(参数)) {}

  const std::vector<std::wstring>& 全部() const { return 参数_; }
  bool 为空() const { return 参数_.empty(); }

  // True when any argument equals 名称.
  bool 有标志(const wchar_t* 名称) const;
  // The argument after the first occurrence of 名称 among all but the last argument;
  // none when 名称 only stands last or is absent. The value is taken verbatim.
  std::optional<std::wstring> 值(const wchar_t* 名称) const;
  // Every value of the repeatable --result-url, in order; a matched occurrence consumes
  // its value, which is then not examined as an option.
  std::vector<std::wstring> 结果地址() const;

 private:
  std::vector<std::wstring> 参数_;
};

}  // namespace tallybell
