#include "publish/content_layout.h"

#include "common/text.h"
#include "documents/manifest.h"
#include "publish/publish_codes.h"
#include "storage/paths.h"
#include "storage/release_id.h"

namespace tallybell {

std::wstring 内容对象目录(const std::wstring& 内容目录) { return 连接路径(内容目录, L"objects"); }

std::wstring 内容清单路径(const std::wstring& 内容目录, const std::wstring& 发布标识) {
  return 连接路径(发布目录(内容目录, 发布标识), L"manifest.json");
}

bool 检查发布标识(const std::wstring& 标识, std::string* UTF8标识, 发布失败* 失败) {
  if (!发布标识有效(标识)) {
    *失败 = {发布输入被拒绝, 带名称(L"发布标识须为 1 至 64 个字母、数字、'-'、'.' 或 '_'，且不能是 . 或 ..", 标识)};
    return false;
  }
  *UTF8标识 = 宽转UTF8宽松(标识);
  return true;
}

bool 规范下载基础地址(const std::wstring& 地址, std::string* 输出, 发布失败* 失败) {
  std::string 文本;
  const bool 可转换 = 宽转UTF8(地址, &文本);
  while (!文本.empty() && 文本.back() == '/') 文本.pop_back();
  // The core finds an object by the last segment of its URL before any query or
  // fragment, so the base must not carry one.
  const bool 有效 = 可转换 && 文本.find_first_of("?#") == std::string::npos && [&] {
    const std::string 示例 = 对象下载地址(文本, std::string(64, '0'));
    return 是HTTPS地址(示例, 地址形式::下载) || 是内容主机地址(示例);
  }();
  if (!有效) {
    *失败 = {发布输入被拒绝,
             带名称(L"下载基础地址须为 HTTPS 地址或内容主机的 http 地址，且不含查询或片段", 地址)};
    return false;
  }
  *输出 = std::move(文本);
  return true;
}

std::string 对象下载地址(const std::string& 基础地址, const std::string& sha256) {
  return 基础地址 + "/objects/" + sha256 + ".object";
}

}  // namespace tallybell
