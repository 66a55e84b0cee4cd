#include "common/time_text.h"

#include <cstdio>

namespace tallybell {
namespace {

constexpr std::uint64_t 每秒单位 = 10000000ULL;
constexpr std::uint64_t 每天秒 = 86400ULL;

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

}  // namespace tallybell
