// UTC times as counts of 100-nanosecond intervals since 1601-01-01 and their text form.
#pragma once

#include <cstdint>
#include <string>

namespace tallybell {

struct UTC时刻 {
  std::uint32_t 年 = 0, 月 = 0, 日 = 0, 时 = 0, 分 = 0, 秒 = 0;
};

// Splits a time value into its calendar fields (proleptic Gregorian, UTC).
UTC时刻 分解UTC时间(std::uint64_t 时间值);

// The time value of a calendar date and time; false for a year outside 1601..9999 or an
// impossible date or time (month 13, 31 April, 29 February of a common year, hour 24 ...).
bool 合成UTC时间(const UTC时刻& 时刻, std::uint64_t* 时间值);

// "%04u-%02u-%02uT%02u:%02u:%02uZ" of the time value.
std::string 格式化UTC时间(std::uint64_t 时间值);

// The check times with which the service and the local state say when to ask next.
// Reads "YYYY-MM-DDTHH:MM:SS", an optional fraction ('.' and at least one digit, otherwise
// ignored) and a zone ("Z", "z" or "+HH:MM" / "-HH:MM", hours 0-23, minutes 0-59), with
// nothing after it. The 'T' may also be lower case, as a policy's checkAfter may write it.
// Years 1601 to 9999 and real calendar dates only. *时间值 is UTC in 100-nanosecond
// intervals since 1601-01-01 and untouched on failure.
bool 解析检查时间(const std::string& 文本, std::uint64_t* 时间值);

// "YYYY-MM-DDTHH:MM:SSZ" (exactly 20 characters) of a time value; false (*文本 untouched)
// for a time after the year 9999.
bool 格式化检查时间(std::uint64_t 时间值, std::string* 文本);

}  // namespace tallybell
