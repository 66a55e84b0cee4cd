#include "release/staging.h"

#include <vector>

#include "common/text.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "release/directory_tree.h"
#include "storage/directories.h"

namespace tallybell {

std::wstring 新暂存目录(const std::wstring& stateRoot, const wchar_t* 前缀) {
  return 连接路径(连接路径(stateRoot, L"staging"), std::wstring(前缀) + L"-" + 十进制宽(platform::进程标识()) +
                                                       L"-" + 十进制宽(platform::毫秒计时()));
}

void 清理遗留暂存目录(const std::wstring& stateRoot) {
  const std::wstring 暂存根 = 连接路径(stateRoot, L"staging");
  std::vector<platform::目录项> 条目;
  if (!platform::文件调用().枚举目录(暂存根, &条目)) return;
  for (const auto& 项 : 条目) {
    if (项.名称.rfind(L"prepare-", 0) == 0 || 项.名称.rfind(L"assemble-", 0) == 0) {
      删除目录树(连接路径(暂存根, 项.名称));
    }
  }
}

}  // namespace tallybell
