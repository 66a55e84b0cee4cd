#include "storage/paths.h"

#include "platform/paths.h"

namespace tallybell {

std::wstring 连接路径(const std::wstring& 基础, const std::wstring& 名称) {
  if (基础.empty()) return {};
  if (基础.back() == platform::路径分隔符) return 基础 + 名称;
  return 基础 + platform::路径分隔符 + 名称;
}

std::wstring 父目录(const std::wstring& 路径) {
  const auto 位置 = 路径.find_last_of(L"\\/");
  return 位置 == std::wstring::npos ? std::wstring() : 路径.substr(0, 位置);
}

std::wstring 发布目录集(const std::wstring& 根) { return 连接路径(根, L"releases"); }

std::wstring 发布目录(const std::wstring& 根, const std::wstring& 标识) { return 连接路径(发布目录集(根), 标识); }

}  // namespace tallybell
