// What the fuzz targets share: 要求, which ends the process (a finding for libFuzzer) when
// a contract does not hold, and a scratch state folder for targets that fuzz the reading of
// small stored files through the real file code.
#pragma once

#include <cstdlib>
#include <string>

#include <unistd.h>

#include "common/text.h"
#include "release/directory_tree.h"
#include "storage/files.h"
#include "storage/paths.h"

inline void 要求(bool 条件) {
  if (!条件) std::abort();
}

// The messages of a text that is not JSON the documents accept.
inline bool 是JSON错误消息(const std::wstring& 消息) {
  for (const wchar_t* 已知 : {L"JSON 格式或 UTF-8 编码无效。", L"JSON 对象包含重复字段。", L"JSON 嵌套深度不能超过 32 层。",
                              L"JSON 只允许整数，不允许浮点数或超大整数。", L"JSON 包含不支持的值类型。"}) {
    if (消息 == 已知) return true;
  }
  return false;
}

namespace tallybell::测试 {

// Made once per fuzzing process and removed when it exits.
inline std::wstring 模糊测试临时状态根() {
  const char* 临时 = std::getenv("TMPDIR");
  std::string 模板 = std::string(临时 != nullptr && *临时 != '\0' ? 临时 : "/tmp") + "/tallybell-fuzz-XXXXXX";
  if (::mkdtemp(模板.data()) == nullptr) std::abort();
  static std::wstring 根;
  根 = UTF8转宽宽松(模板);
  if (!创建目录树(连接路径(根, L"state"))) std::abort();
  std::atexit([] { 删除目录树(根); });
  return 根;
}

}  // namespace tallybell::测试
