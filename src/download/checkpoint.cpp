#include "download/checkpoint.h"

#include "documents/json_output.h"
#include "documents/json_value.h"
#include "storage/files.h"

namespace tallybell {
namespace {

const std::string* 读取字符串成员(const Json值& 根, const char* 键) {
  const Json值* 成员 = 根.查找成员(键);
  return 成员 != nullptr && 成员->是字符串() ? &成员->文本() : nullptr;
}

}  // namespace

bool 读取下载断点状态(const std::wstring& 路径, 下载断点状态* 输出) {
  std::string 文本;
  Json值 根;
  if (输出 == nullptr || !读取整个文件(路径, &文本) || !Json值::解析(文本, &根) || !根.是对象()) {
    return false;
  }
  const std::string* 哈希 = 读取字符串成员(根, "hash");
  const std::string* 最近错误 = 读取字符串成员(根, "lastError");
  下载断点状态 断点;
  if (哈希 == nullptr || 最近错误 == nullptr ||
      !读取非负整数(根.查找成员("downloaded"), &断点.downloaded) ||
      !读取非负整数(根.查找成员("retryCount"), &断点.retryCount) ||
      !读取非负整数(根.查找成员("targetSize"), &断点.targetSize) ||
      !读取非负整数(根.查找成员("urlIndex"), &断点.urlIndex)) {
    return false;
  }
  断点.hash = *哈希;
  断点.lastError = *最近错误;
  *输出 = std::move(断点);
  return true;
}

bool 序列化下载断点状态(const 下载断点状态& 断点, std::string* 输出) {
  Json值 文档 = Json值::对象();
  文档.设置成员("downloaded", Json值::无符号整数(断点.downloaded));
  文档.设置成员("hash", Json值::字符串(断点.hash));
  文档.设置成员("lastError", Json值::字符串(断点.lastError));
  文档.设置成员("retryCount", Json值::无符号整数(断点.retryCount));
  文档.设置成员("targetSize", Json值::无符号整数(断点.targetSize));
  文档.设置成员("urlIndex", Json值::无符号整数(断点.urlIndex));
  return 序列化JSON(文档, 输出);
}

bool 写入下载断点状态(const std::wstring& 路径, const std::wstring& 备份, const 下载断点状态& 断点) {
  std::string 文本;
  return 序列化下载断点状态(断点, &文本) && 原子写入文件(路径, 文本, 备份);
}

}  // namespace tallybell
