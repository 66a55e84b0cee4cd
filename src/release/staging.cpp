#include "release/staging.h"

#include <vector>

#include "common/text.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "release/directory_tree.h"
#include "storage/files.h"
#include "storage/paths.h"

namespace tallybell {
namespace {

constexpr wchar_t 锁后缀[] = L".lock";

std::wstring 暂存根(const std::wstring& stateRoot) { return 连接路径(stateRoot, L"staging"); }

bool 是暂存名(const std::wstring& 名称) {
  return 名称.rfind(L"prepare-", 0) == 0 || 名称.rfind(L"assemble-", 0) == 0;
}

}  // namespace

暂存目录::暂存目录(const std::wstring& stateRoot, const wchar_t* 前缀) {
  const std::wstring 根 = 暂存根(stateRoot);
  const std::wstring 路径 = 连接路径(根, std::wstring(前缀) + L"-" + 十进制宽(platform::进程标识()) + L"-" +
                                           十进制宽(platform::毫秒计时()));
  if (!创建目录树(根) || !是真实目录(根) || !锁_.打开或创建(路径 + 锁后缀) ||
      锁_.加锁(0) != platform::加锁结果::取得) {
    return;
  }
  路径_ = 路径;
}

暂存目录::~暂存目录() { 锁_.删除并关闭(); }

void 清理遗留暂存目录(const std::wstring& stateRoot) {
  const std::wstring 根 = 暂存根(stateRoot);
  std::vector<platform::目录项> 条目;
  if (!是真实目录(根) || !platform::文件调用().枚举目录(根, &条目)) return;
  for (const auto& 项 : 条目) {
    // Directories only: a lock file is created before its directory, so a directory seen
    // here has its owner's lock already taken while that owner lives.
    if (!项.是目录 || 项.是链接 || !是暂存名(项.名称)) continue;
    platform::文件锁 锁;
    if (!锁.打开或创建(连接路径(根, 项.名称 + 锁后缀)) || 锁.加锁(0) != platform::加锁结果::取得) continue;
    删除目录树(连接路径(根, 项.名称));
    锁.删除并关闭();
  }
}

}  // namespace tallybell
