#include "storage/directories.h"

#include "platform/paths.h"
#include "platform/system_info.h"

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

std::wstring 状态根下的缓存目录(const std::wstring& stateRoot) {
  const std::wstring 分隔(1, platform::路径分隔符);
  return stateRoot + 分隔 + L"cache" + 分隔 + L"objects" + 分隔 + L"sha256";
}

bool 由基础文件夹计算默认目录(const std::wstring& 程序文件夹, const std::wstring& 公共数据文件夹,
                             默认目录* 输出) {
  *输出 = 默认目录{};
  if (程序文件夹.empty() || 公共数据文件夹.empty()) return false;
  输出->programRoot = 连接路径(程序文件夹, L"Tallybell");
  输出->stateRoot = 连接路径(公共数据文件夹, L"Tallybell");
  const std::wstring 分隔(1, platform::路径分隔符);
  输出->cacheRoot = 连接路径(输出->stateRoot, L"cache" + 分隔 + L"objects" + 分隔 + L"sha256");
  return true;
}

bool 取默认目录(默认目录* 输出) {
  return 由基础文件夹计算默认目录(platform::程序文件夹(), platform::公共数据文件夹(), 输出);
}

bool 发布标识有效(const std::wstring& 标识) {
  if (标识.empty() || 标识.size() > 64 || 标识 == L"." || 标识 == L"..") return false;
  for (wchar_t 字符 : 标识) {
    const bool 允许 = (字符 >= L'0' && 字符 <= L'9') || (字符 >= L'a' && 字符 <= L'z') ||
                      (字符 >= L'A' && 字符 <= L'Z') || 字符 == L'-' || 字符 == L'.' || 字符 == L'_';
    if (!允许) return false;
  }
  return true;
}

std::wstring 发布目录集(const std::wstring& 根) { return 连接路径(根, L"releases"); }

std::wstring 发布目录(const std::wstring& 根, const std::wstring& 标识) { return 连接路径(发布目录集(根), 标识); }

}  // namespace tallybell
