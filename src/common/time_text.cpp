#include "common/time_text.h"

#include <cstdio>

namespace tallybell {
namespace {

constexpr std::uint64_t 每秒单位 = 10000000ULL;
constexpr std::uint64_t 每天秒 = 86400ULL;
constexpr std::uint64_t 每分钟单位 = 60 * 每秒单位;

bool 是闰年(std::uint32_t 年) { return (年 % 4 == 0 && 年 % 100 != 0) || 年 % 400 == 0; }

std::uint32_t 月天数(std::uint32_t 年, std::uint32_t 月) {
  static constexpr std::uint32_t 天数[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return 月 == 2 && 是闰年(年) ? 29 : 天数[月 - 1];
}

// Days from 1601-01-01 to the first day of 年 (years are counted in whole cycles first so
// that the loop stays short even for the year 9999).
std::uint64_t 年前天数(std::uint32_t 年) {
  const std::uint64_t 年数 = 年 - 1601;
  return 年数 * 365 + 年数 / 4 - 年数 / 100 + 年数 / 400;
}


bool 是数字(char 字符) { return 字符 >= '0' && 字符 <= '9'; }

// Two decimal digits at 位置; false when either byte is not a digit.
bool 读两位(const std::string& 文本, std::size_t 位置, std::uint32_t* 值) {
  if (!是数字(文本[位置]) || !是数字(文本[位置 + 1])) return false;
  *值 = static_cast<std::uint32_t>(文本[位置] - '0') * 10 + static_cast<std::uint32_t>(文本[位置 + 1] - '0');
  return true;
}

// "YYYY-MM-DDTHH:MM:SS" in the first 19 bytes.
bool 读日期时间(const std::string& 文本, UTC时刻* 时刻) {
  static constexpr std::size_t 分隔位置[] = {4, 7, 10, 13, 16};
  static constexpr char 分隔符[] = {'-', '-', 'T', ':', ':'};
  for (std::size_t i = 0; i < 5; ++i) {
    const char 实际 = 文本[分隔位置[i]];
    if (实际 != 分隔符[i] && !(分隔位置[i] == 10 && 实际 == 't')) return false;
  }
  std::uint32_t 世纪 = 0, 年内 = 0;
  if (!读两位(文本, 0, &世纪) || !读两位(文本, 2, &年内) || !读两位(文本, 5, &时刻->月) ||
      !读两位(文本, 8, &时刻->日) || !读两位(文本, 11, &时刻->时) || !读两位(文本, 14, &时刻->分) ||
      !读两位(文本, 17, &时刻->秒)) {
    return false;
  }
  时刻->年 = 世纪 * 100 + 年内;
  return true;
}

// The zone from 位置 to the end, as minutes east of UTC.
bool 读时区(const std::string& 文本, std::size_t 位置, std::int64_t* 偏移分钟) {
  const std::size_t n = 文本.size();
  if (位置 + 1 == n && (文本[位置] == 'Z' || 文本[位置] == 'z')) {
    *偏移分钟 = 0;
    return true;
  }
  if (n != 位置 + 6 || (文本[位置] != '+' && 文本[位置] != '-') || 文本[位置 + 3] != ':') return false;
  std::uint32_t 时 = 0, 分 = 0;
  if (!读两位(文本, 位置 + 1, &时) || !读两位(文本, 位置 + 4, &分) || 时 > 23 || 分 > 59) return false;
  const std::int64_t 分钟 = static_cast<std::int64_t>(时) * 60 + 分;
  *偏移分钟 = 文本[位置] == '-' ? -分钟 : 分钟;
  return true;
}

}  // namespace

UTC时刻 分解UTC时间(std::uint64_t 时间值) {
  const std::uint64_t 总秒 = 时间值 / 每秒单位;
  std::uint64_t 天 = 总秒 / 每天秒;
  const std::uint64_t 日内秒 = 总秒 % 每天秒;
  UTC时刻 结果;
  // 146097 days make a full 400-year cycle starting 1601-01-01.
  std::uint32_t 年 = 1601 + static_cast<std::uint32_t>(天 / 146097) * 400;
  天 %= 146097;
  while (天 >= (是闰年(年) ? 366u : 365u)) {
    天 -= 是闰年(年) ? 366 : 365;
    ++年;
  }
  std::uint32_t 月 = 1;
  while (天 >= 月天数(年, 月)) {
    天 -= 月天数(年, 月);
    ++月;
  }
  结果.年 = 年;
  结果.月 = 月;
  结果.日 = static_cast<std::uint32_t>(天) + 1;
  结果.时 = static_cast<std::uint32_t>(日内秒 / 3600);
  结果.分 = static_cast<std::uint32_t>(日内秒 / 60 % 60);
  结果.秒 = static_cast<std::uint32_t>(日内秒 % 60);
  return 结果;
}

bool 合成UTC时间(const UTC时刻& 时刻, std::uint64_t* 时间值) {
  if (时刻.年 < 1601 || 时刻.年 > 9999 || 时刻.月 < 1 || 时刻.月 > 12 || 时刻.日 < 1 ||
      时刻.日 > 月天数(时刻.年, 时刻.月) || 时刻.时 > 23 || 时刻.分 > 59 || 时刻.秒 > 59) {
    return false;
  }
  std::uint64_t 天 = 年前天数(时刻.年);
  for (std::uint32_t 月 = 1; 月 < 时刻.月; ++月) 天 += 月天数(时刻.年, 月);
  天 += 时刻.日 - 1;
  const std::uint64_t 秒 = 天 * 每天秒 + 时刻.时 * 3600ULL + 时刻.分 * 60ULL + 时刻.秒;
  *时间值 = 秒 * 每秒单位;
  return true;
}

std::string 格式化UTC时间(std::uint64_t 时间值) {
  const UTC时刻 时刻 = 分解UTC时间(时间值);
  char 缓冲[64];
  std::snprintf(缓冲, sizeof 缓冲, "%04u-%02u-%02uT%02u:%02u:%02uZ", 时刻.年, 时刻.月, 时刻.日, 时刻.时,
                时刻.分, 时刻.秒);
  return 缓冲;
}

bool 解析检查时间(const std::string& 文本, std::uint64_t* 时间值) {
  const std::size_t n = 文本.size();
  UTC时刻 时刻;
  if (时间值 == nullptr || n < 20 || !读日期时间(文本, &时刻)) return false;
  std::size_t 位置 = 19;
  if (文本[19] == '.') {
    位置 = 20;
    while (位置 < n && 是数字(文本[位置])) ++位置;
    if (位置 == 20) return false;
  }
  std::int64_t 偏移分钟 = 0;
  std::uint64_t 值 = 0;
  if (!读时区(文本, 位置, &偏移分钟) || !合成UTC时间(时刻, &值)) return false;
  if (偏移分钟 >= 0) {
    const std::uint64_t 偏移 = static_cast<std::uint64_t>(偏移分钟) * 每分钟单位;
    if (值 < 偏移) return false;
    *时间值 = 值 - 偏移;
  } else {
    // At most 14 hours after the end of 9999: far from the 64-bit limit.
    *时间值 = 值 + static_cast<std::uint64_t>(-偏移分钟) * 每分钟单位;
  }
  return true;
}

bool 格式化检查时间(std::uint64_t 时间值, std::string* 文本) {
  if (文本 == nullptr) return false;
  std::string 结果 = 格式化UTC时间(时间值);
  // Years after 9999 take a fifth digit and no longer fit the form.
  if (结果.size() != 20) return false;
  *文本 = std::move(结果);
  return true;
}

}  // namespace tallybell
