#include "release/assembly_files.h"

#include "common/codes.h"
#include "common/failure.h"
#include "common/text.h"
#include "download/download_task.h"
#include "download/object_cache.h"
#include "platform/file_system.h"
#include "release/verification.h"
#include "storage/files.h"
#include "storage/paths.h"

namespace tallybell {
namespace {

// The first file of an installed release that is the same content under the same path
// (letter case aside) and verifies on disk.
bool 从已有版本复制(const 版本组装配置& 配置, const 发布文件& 条目, const std::wstring& 相对路径,
                    const std::wstring& 目标) {
  const std::string 小写路径 = 转ASCII小写(条目.path);
  for (const auto& 版本 : 配置.localReleases) {
    for (const auto& 已有 : 版本.manifest.files) {
      if (转ASCII小写(已有.path) != 小写路径) continue;
      if (已有.sha256 == 条目.sha256 && 已有.size == 条目.size) {
        const std::wstring 源 = 连接路径(版本.directory, 相对路径);
        if (发布文件路径可信(版本.directory, 相对路径) && 校验发布文件(源, 条目) && 复制并校验(源, 目标, 条目)) {
          return true;
        }
      }
      break;  // only the first entry with this path counts
    }
  }
  return false;
}

}  // namespace

bool 复制并校验(const std::wstring& 源, const std::wstring& 目标, const 发布文件& 条目) {
  const std::wstring 上级 = 父目录(目标);
  if (上级.empty() || !创建目录树(上级)) return false;
  if (!platform::文件调用().复制文件不覆盖(源, 目标)) return false;
  if (校验发布文件(目标, 条目)) return true;
  platform::文件调用().删除文件(目标);
  return false;
}

std::uint32_t 放置发布文件(const 版本组装配置& 配置, const 发布文件& 条目, const std::wstring& 相对路径,
                           const std::wstring& 目标, 下载传输* 传输, 文件来源* 来源, std::wstring* 错误) {
  if (从已有版本复制(配置, 条目, 相对路径, 目标)) {
    *来源 = 文件来源::已有版本;
    return 成功;
  }
  std::wstring 对象路径;
  if (缓存查找(配置.cacheRoot, 条目.sha256, 条目.size, &对象路径, nullptr) && 复制并校验(对象路径, 目标, 条目)) {
    *来源 = 文件来源::缓存;
    return 成功;
  }
  下载对象配置 下载;
  下载.objectDirectory = 配置.cacheRoot;
  下载.sha256 = 条目.sha256;
  下载.size = 条目.size;
  下载.totalTimeoutMs = 600000;
  for (const auto& 地址 : 条目.downloadUrls) {
    std::wstring 宽地址;
    if (!UTF8转宽(地址, &宽地址) || 宽地址.empty()) return 以代码结束(发布清单无效, L"下载地址无法转换为 UTF-16。", 错误);
    下载.downloadUrls.push_back(std::move(宽地址));
  }
  下载任务结果 结果;
  if (!下载任务::执行(下载, 传输, &结果, nullptr) || !复制并校验(结果.objectPath, 目标, 条目)) {
    return 以代码结束(发布文件下载失败, L"无法下载或校验发布文件。", 错误);
  }
  *来源 = 文件来源::下载;
  return 成功;
}

}  // namespace tallybell
