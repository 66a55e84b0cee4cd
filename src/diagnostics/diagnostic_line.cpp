#include "diagnostics/diagnostic_line.h"

#include <cstdio>

#include "common/text.h"
#include "diagnostics/channel.h"
#include "platform/clock.h"

namespace tallybell {
namespace {

std::string 时间戳() {
  const platform::本地时刻 时刻 = platform::取本地时刻();
  // Room for seven 32-bit values at full width, so the text is never cut.
  char 缓冲[96];
  const int 长度 = std::snprintf(缓冲, sizeof 缓冲, "%04u-%02u-%02u %02u:%02u:%02u.%03u",
                                static_cast<unsigned>(时刻.年), static_cast<unsigned>(时刻.月),
                                static_cast<unsigned>(时刻.日), static_cast<unsigned>(时刻.时),
                                static_cast<unsigned>(时刻.分), static_cast<unsigned>(时刻.秒),
                                static_cast<unsigned>(时刻.毫秒));
  return std::string(缓冲, 长度 > 0 ? static_cast<std::size_t>(长度) : 0);
}

const char* 真假(bool 值) { return 值 ? "true" : "false"; }

}  // namespace

namespace 细节 {

void 写诊断结果行(const std::string& 标识, std::string_view 阶段, std::uint32_t 代码,
                  字段产生函数 产生, void* 产生器) noexcept {
  // A diagnostic record must never change the outcome of a command, so every failure,
  // including an exception out of the caller's producer, just drops the line.
  try {
    诊断通道 通道;
    if (!通道.打开(标识)) return;
    std::string 行 = 时间戳();
    行 += " task=";
    行 += 标识;
    行 += " stage=";
    行 += 阶段;
    行 += " code=";
    行 += 十进制(代码);
    行 += ' ';
    行 += 产生(产生器);
    行 += "\r\n";
    通道.追加(行);
  } catch (...) {
  }
}

}  // namespace 细节

std::string 更新核心结果字段(bool recoverUnusableState, bool releasePrepared,
                            bool alreadyRunning, const std::wstring& detail) {
  std::string 字段 = "recoverUnusableState=";
  字段 += 真假(recoverUnusableState);
  字段 += " releasePrepared=";
  字段 += 真假(releasePrepared);
  字段 += " alreadyRunning=";
  字段 += 真假(alreadyRunning);
  字段 += " detail=";
  字段 += 宽转UTF8宽松(detail);
  return 字段;
}

}  // namespace tallybell
