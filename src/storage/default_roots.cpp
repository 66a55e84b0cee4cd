#include "storage/default_roots.h"

#include "platform/paths.h"
#include "platform/system_info.h"
#include "storage/paths.h"

namespace tallybell {

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

}  // namespace tallybell
