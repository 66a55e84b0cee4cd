// The text of the service and timer units. Values pass through the unit-file parser, which
// expands '%' specifiers, '$' variables in command lines and C escapes in quoted words,
// and which ends a value at a line break; every value is escaped or refused accordingly.
#include "platform/posix/systemd_units.h"

#include <cstdint>

#include "common/text.h"

namespace tallybell::platform {
namespace {

// Strict UTF-8 without control characters, or false.
bool 单元值文本(const std::wstring& 值, std::string* 输出) {
  if (!宽转UTF8(值, 输出)) return false;
  for (unsigned char 字节 : *输出) {
    if (字节 < 0x20 || 字节 == 0x7F) return false;
  }
  return true;
}

// '%' starts a specifier in every value.
std::string 转义说明符(const std::string& 文本) {
  std::string 结果;
  for (char 字符 : 文本) {
    if (字符 == '%') 结果 += '%';
    结果 += 字符;
  }
  return 结果;
}

// In a command line '$' also starts a variable and a backslash starts an escape; within
// double quotes a double quote needs one too.
std::string 转义命令词(const std::string& 文本, bool 加引号) {
  std::string 结果;
  for (char 字符 : 转义说明符(文本)) {
    if (字符 == '$') 结果 += '$';
    if (字符 == '\\' || (加引号 && 字符 == '"')) 结果 += '\\';
    结果 += 字符;
  }
  return 加引号 ? '"' + 结果 + '"' : 结果;
}

// Seconds of an ISO 8601 time duration made of hours, minutes and seconds ("PT1H",
// "PT90M", "PT1H30M"); false for anything else.
bool ISO时长秒数(const std::wstring& 时长, std::uint64_t* 秒数) {
  if (时长.size() < 4 || 时长.compare(0, 2, L"PT") != 0) return false;
  std::uint64_t 合计 = 0, 数 = 0;
  std::size_t 位数 = 0;
  for (std::size_t i = 2; i < 时长.size(); ++i) {
    const wchar_t 字符 = 时长[i];
    if (字符 >= L'0' && 字符 <= L'9') {
      if (++位数 > 9) return false;
      数 = 数 * 10 + static_cast<std::uint64_t>(字符 - L'0');
      continue;
    }
    const std::uint64_t 单位 = 字符 == L'H' ? 3600 : 字符 == L'M' ? 60 : 字符 == L'S' ? 1 : 0;
    if (单位 == 0 || 位数 == 0) return false;
    合计 += 数 * 单位;
    数 = 0;
    位数 = 0;
  }
  if (位数 != 0 || 合计 == 0) return false;
  *秒数 = 合计;
  return true;
}

// A time span as systemd writes it: whole hours as "1h", whole minutes as "90min", else
// seconds.
std::string 时长文本(std::uint64_t 秒数) {
  if (秒数 % 3600 == 0) return 十进制(秒数 / 3600) + "h";
  if (秒数 % 60 == 0) return 十进制(秒数 / 60) + "min";
  return 十进制(秒数) + "s";
}

}  // namespace

bool 生成systemd服务单元(const 后台更新任务定义& 定义, std::string* 输出) {
  std::string 名称, 程序, 参数, 目录;
  std::uint64_t 间隔 = 0;
  if (!单元值文本(定义.taskName, &名称) || !单元值文本(定义.executablePath, &程序) ||
      !单元值文本(定义.arguments, &参数) || !单元值文本(定义.workingDirectory, &目录) ||
      !ISO时长秒数(定义.restartInterval, &间隔)) {
    return false;
  }
  // The parser strips trailing blanks and joins a line ending in a backslash with the
  // next, so such a directory cannot be written.
  if (!目录.empty() && (目录.back() == ' ' || 目录.back() == '\t' || 目录.back() == '\\')) return false;
  if (目录.empty()) 目录 = "/";  // a program in the root directory
  // Every start within the window counts, the first one included: allowing restartCount
  // restarts means restartCount + 1 starts, and the window must span all of them.
  const std::uint64_t 窗口 = 间隔 * (定义.restartCount + 2ull);
  *输出 = "[Unit]\nDescription=" + 转义说明符(名称) + "\nStartLimitIntervalSec=" + 时长文本(窗口) +
          "\nStartLimitBurst=" + 十进制(定义.restartCount + 1ull) +
          "\n\n[Service]\nType=simple\nExecStart=" + 转义命令词(程序, true) + " " + 转义命令词(参数, false) +
          "\nWorkingDirectory=" + 转义说明符(目录) + "\nRestart=on-failure\nRestartSec=" + 时长文本(间隔) + "\n";
  return true;
}

bool 生成systemd定时器单元(const 后台更新任务定义& 定义, std::string* 输出) {
  std::string 名称, 时刻;
  // The daily start must fall within the day.
  if (定义.delaySeconds >= 86400) return false;
  if (!单元值文本(定义.taskName, &名称) || !宽转UTF8(定义.dailyStartTime, &时刻)) return false;
  *输出 = "[Unit]\nDescription=" + 转义说明符(名称) + "\n\n[Timer]\nOnBootSec=" + 十进制(定义.delaySeconds) +
          "s\nOnCalendar=*-*-* " + 时刻 + "\nPersistent=" + (定义.startWhenAvailable ? "true" : "false") +
          "\n\n[Install]\nWantedBy=timers.target\n";
  return true;
}

}  // namespace tallybell::platform
