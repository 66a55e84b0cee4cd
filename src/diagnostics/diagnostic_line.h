// One diagnostic record: a timestamped line appended to the diagnostic channel.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>

namespace tallybell {

namespace 细节 {
using 字段产生函数 = std::string (*)(void* 产生器);
void 写诊断结果行(const std::string& 标识, std::string_view 阶段, std::uint32_t 代码,
                  字段产生函数 产生, void* 产生器) noexcept;
}  // namespace 细节

// Opens the channel of 标识, appends one line
//   "<local time> task=<id> stage=<stage> code=<code> <fields>\r\n"
// and closes it. 产生字段 (callable as std::string()) is called only once the view is
// mapped, so nothing is computed while the channel is unavailable. Never throws and
// never reports failure: an invalid id, a missing channel, a lock time-out or an
// exception from 产生字段 (allocation failures included) silently skips the record.
template <typename 产生器类型>
void 写诊断结果行(const std::string& 标识, std::string_view 阶段, std::uint32_t 代码,
                  产生器类型&& 产生字段) noexcept {
  using 类型 = std::remove_reference_t<产生器类型>;
  void* 地址 = const_cast<void*>(static_cast<const void*>(std::addressof(产生字段)));
  细节::写诊断结果行(标识, 阶段, 代码,
                     [](void* 产生器) -> std::string { return (*static_cast<类型*>(产生器))(); },
                     地址);
}

// The fields text of the "update-core-result" line. The detail is converted leniently:
// unpaired surrogates become U+FFFD, so the line still tells what the console could not.
std::string 更新核心结果字段(bool recoverUnusableState, bool releasePrepared,
                            bool alreadyRunning, const std::wstring& detail);

}  // namespace tallybell
