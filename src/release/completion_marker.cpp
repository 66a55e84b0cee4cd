#include "release/completion_marker.h"

#include <nlohmann/json.hpp>

#include "documents/json_output.h"

namespace tallybell {

std::string 完成标记文本(const 发布清单& 清单, const std::string& 清单哈希) {
  nlohmann::json 文件 = nlohmann::json::array();
  for (const auto& 条目 : 清单.files) {
    文件.push_back({{"path", 条目.path}, {"sha256", 条目.sha256}, {"size", 条目.size}});
  }
  const nlohmann::json 标记 = {
      {"files", 文件}, {"formatVersion", 1}, {"manifestHash", 清单哈希}, {"releaseId", 清单.releaseId}};
  std::string 文本;
  return 序列化JSON(标记, &文本) ? 文本 : std::string();
}

}  // namespace tallybell
