#include "platform/system_info.h"

#include <sys/random.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "common/text.h"

namespace tallybell::platform {

bool 生成GUID(GUID值* 输出) {
  std::uint8_t 字节[16];
  std::size_t 已得 = 0;
  while (已得 < sizeof 字节) {
    const ssize_t 数量 = ::getrandom(字节 + 已得, sizeof 字节 - 已得, 0);
    if (数量 < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    已得 += static_cast<std::size_t>(数量);
  }
  字节[6] = static_cast<std::uint8_t>((字节[6] & 0x0F) | 0x40);  // version 4
  字节[8] = static_cast<std::uint8_t>((字节[8] & 0x3F) | 0x80);  // RFC 4122 variant
  输出->数据1 = (std::uint32_t{字节[0]} << 24) | (std::uint32_t{字节[1]} << 16) |
                (std::uint32_t{字节[2]} << 8) | 字节[3];
  输出->数据2 = static_cast<std::uint16_t>((字节[4] << 8) | 字节[5]);
  输出->数据3 = static_cast<std::uint16_t>((字节[6] << 8) | 字节[7]);
  for (int i = 0; i < 8; ++i) 输出->数据4[i] = 字节[8 + i];
  return true;
}

std::wstring 系统描述() {
  utsname 名称 {};
  if (::uname(&名称) != 0) return L"Linux x64";
  unsigned 主 = 0, 次 = 0, 修订 = 0;
  // A release such as "6.1.0-13-amd64" gives 6, 1 and 0; missing parts stay 0.
  std::sscanf(名称.release, "%u.%u.%u", &主, &次, &修订);
  const std::string 文本 = std::string(名称.sysname) + " " + std::to_string(主) + "." +
                         std::to_string(次) + " build " + std::to_string(修订) + " x64";
  return UTF8转宽宽松(文本);
}

std::wstring 程序文件夹() { return L"/opt"; }

std::wstring 公共数据文件夹() { return L"/var/lib"; }

std::wstring 本程序路径() {
  std::vector<char> 缓冲(32768);
  const ssize_t 长度 = ::readlink("/proc/self/exe", 缓冲.data(), 缓冲.size());
  if (长度 <= 0 || static_cast<std::size_t>(长度) >= 缓冲.size()) return {};
  std::wstring 结果;
  if (!UTF8转宽(std::string(缓冲.data(), static_cast<std::size_t>(长度)), &结果)) return {};
  return 结果;
}

}  // namespace tallybell::platform
