// The operator command line: words, then "--name value" options and "--flag"s.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tallybell::服务 {

// Exit codes of every command.
enum 退出码 : int {
  成功 = 0,
  失败 = 1,      // serve stopped on an error
  用法错误 = 2,  // unknown command or option, missing or malformed value
  拒绝 = 3,      // refused: unknown release or channel, conflicting release, wrong state
  存储错误 = 4,  // the database cannot be opened, read or written
};

class 命令参数 {
 public:
  // 选项: names that take a value; 标志: names without one. False with a message for
  // anything else.
  bool 解析(int argc, char** argv, int 起始, const std::set<std::string>& 选项,
            const std::set<std::string>& 标志, std::string* 错误);
  const std::vector<std::string>& 位置参数() const { return 位置_; }
  bool 有(const std::string& 名称) const { return 值_.count(名称) != 0 || 标志_.count(名称) != 0; }
  std::string 取(const std::string& 名称, const std::string& 缺省 = {}) const;
  // A decimal number within [最小, 最大]; nullopt when absent, false when malformed.
  bool 取数(const std::string& 名称, std::uint64_t 最小, std::uint64_t 最大, std::optional<std::uint64_t>* 值,
            std::string* 错误) const;

 private:
  std::vector<std::string> 位置_;
  std::map<std::string, std::string> 值_;
  std::set<std::string> 标志_;
};

}  // namespace tallybell::服务
