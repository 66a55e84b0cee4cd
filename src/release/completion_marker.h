// The text of a release directory's completion marker, complete.json.
#pragma once

#include <string>

#include "documents/manifest.h"

namespace tallybell {

// The marker for 清单 accepted under 清单哈希, in the canonical JSON form: files (path,
// sha256, size of each manifest file in manifest order), formatVersion 1, manifestHash
// and releaseId. Empty when the text cannot be produced.
std::string 完成标记文本(const 发布清单& 清单, const std::string& 清单哈希);

}  // namespace tallybell
