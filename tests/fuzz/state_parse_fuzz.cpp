// Feeds arbitrary bytes to the local version state parse (both formats). A record that
// parses must serialise, and a record read from version 2 must come back unchanged from
// its own serialisation, which must be stable. Mutated inputs rarely keep a valid
// checksum, so each JSON object is also tried once more with its checksum repaired, which
// lets the fuzzer reach the member rules behind the checksum.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <tuple>

#include "documents/json_output.h"
#include "documents/json_value.h"
#include "storage/version_state.h"

#include "fuzz_support.h"

namespace {

using tallybell::Json值;
using tallybell::本地版本状态;

bool 含NUL(const std::wstring& 文本) { return 文本.find(L'\0') != std::wstring::npos; }

// Version 1 values may carry zero bytes, which version 2 refuses in its scalar strings.
bool 可写为版本2(const 本地版本状态& 状态) {
  return !含NUL(状态.activeRelease) && !含NUL(状态.lastGoodRelease) &&
         !含NUL(状态.pendingRelease) && !含NUL(状态.attemptingRelease) &&
         !含NUL(状态.rescueRelease) && !含NUL(状态.legacyInstallPath);
}

auto 字段(const 本地版本状态& 状态) {
  return std::tie(状态.generation, 状态.activeRelease, 状态.lastGoodRelease, 状态.pendingRelease,
                  状态.attemptingRelease, 状态.rescueRelease, 状态.legacyInstallPath, 状态.confirmedHistory,
                  状态.quarantined, 状态.policyVersion, 状态.policyContentId, 状态.nextCheckAt,
                  状态.updateFailureCount, 状态.preservedFields);
}

void 检查往返(const std::string& 文本) {
  本地版本状态 状态;
  if (!tallybell::解析本地版本状态(文本, &状态)) return;

  const std::string 规范文本 = tallybell::序列化本地版本状态(状态);
  要求(!规范文本.empty());
  本地版本状态 再解析;
  const bool 再解析成功 = tallybell::解析本地版本状态(规范文本, &再解析);
  if (!可写为版本2(状态)) {
    要求(!再解析成功);
    return;
  }
  要求(再解析成功);
  要求(tallybell::序列化本地版本状态(再解析) == 规范文本);
  if (状态.generation != 0) 要求(字段(状态) == 字段(再解析));  // version 2 input
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* 数据, std::size_t 大小) {
  const std::string 文本(reinterpret_cast<const char*>(数据), 大小);
  检查往返(文本);

  Json值 文档;
  std::string 校验和;
  std::string 修复文本;
  if (Json值::解析(文本, &文档) && tallybell::计算本地版本状态校验和(文档, &校验和)) {
    文档.设置成员("checksum", Json值::字符串(校验和));
    if (tallybell::序列化JSON(文档, &修复文本)) 检查往返(修复文本);
  }
  return 0;
}
