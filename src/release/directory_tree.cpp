#include "release/directory_tree.h"

#include <vector>

#include "platform/file_system.h"
#include "storage/files.h"
#include "storage/paths.h"

namespace tallybell {

using platform::文件调用;

bool 复制目录树(const std::wstring& 源, const std::wstring& 目标) {
  if (目标.empty() || !创建目录树(目标)) return false;
  std::vector<platform::目录项> 条目;
  if (!文件调用().枚举目录(源, &条目)) return false;
  for (const auto& 项 : 条目) {
    if (项.是链接) return false;
    const std::wstring 源项 = 连接路径(源, 项.名称);
    const std::wstring 目标项 = 连接路径(目标, 项.名称);
    const bool 成功 = 项.是目录 ? 复制目录树(源项, 目标项) : 文件调用().复制文件不覆盖(源项, 目标项);
    if (!成功) return false;
  }
  return true;
}

void 删除目录树(const std::wstring& 目录) {
  platform::文件信息 信息;
  if (!文件调用().查询(目录, &信息) || !信息.存在) return;
  if (信息.是链接 || !信息.是目录) {
    文件调用().清除只读(目录);
    文件调用().删除文件(目录);
    return;
  }
  std::vector<platform::目录项> 条目;
  if (文件调用().枚举目录(目录, &条目)) {
    for (const auto& 项 : 条目) {
      const std::wstring 路径 = 连接路径(目录, 项.名称);
      if (项.是目录 && !项.是链接) {
        删除目录树(路径);
      } else {
        文件调用().清除只读(路径);
        文件调用().删除文件(路径);
      }
    }
  }
  文件调用().清除只读(目录);
  文件调用().删除目录(目录);
}

}  // namespace tallybell
