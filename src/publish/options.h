// The publishing tool's command line: one command word, then options with separate
// values ("--out DIR"), matched exactly; no abbreviations and no "=" forms.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

namespace tallybell {

struct 发布命令行 {
  std::wstring 命令;  // "release", "policy", "fixture", "verify", "key generate", or "help" / "version"
  std::map<std::wstring, std::vector<std::wstring>> 值;  // every value of each option, in order
  std::set<std::wstring> 标志;

  // The only value of a single-valued option (parsing guarantees exactly one when it is
  // required); empty when an optional one is absent.
  std::wstring 单值(const wchar_t* 选项) const;
  std::vector<std::wstring> 全部值(const wchar_t* 选项) const;
  bool 有标志(const wchar_t* 选项) const { return 标志.count(选项) != 0; }
};

// Parses 参数 (without the program name) against the options of its command: required
// options must be present, single ones appear once, values must not be empty. "--help"
// anywhere, or no argument at all, gives the command "help"; "--version" gives "version".
// False with one message (code 2 of the tool) otherwise.
bool 解析发布命令行(const std::vector<std::wstring>& 参数, 发布命令行* 输出, std::wstring* 错误);

}  // namespace tallybell
