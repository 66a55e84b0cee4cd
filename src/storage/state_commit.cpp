#include "storage/state_commit.h"

#include "platform/file_lock.h"
#include "storage/files.h"
#include "storage/paths.h"
#include "storage/version_state.h"

namespace tallybell {
namespace {

// A commit holds the lock for one load and one atomic replace; waiting longer than this
// means something is wrong with the other holder, and the run fails rather than hang.
constexpr std::uint32_t 锁等待毫秒 = 30000;

}  // namespace

std::wstring 状态根锁路径(const std::wstring& stateRoot) {
  return 连接路径(连接路径(stateRoot, L"state"), L"state.lock");
}

bool 提交本地版本状态(const std::wstring& stateRoot, std::optional<std::uint64_t> 读到的代次,
                      const std::string& 文本) {
  const std::wstring 锁路径 = 状态根锁路径(stateRoot);
  platform::文件锁 锁;
  if (文本.empty() || !创建目录树(父目录(锁路径)) || !锁.打开或创建(锁路径) ||
      锁.加锁(锁等待毫秒) != platform::加锁结果::取得) {
    return false;
  }
  std::string 现有文本;
  本地版本状态 现有;
  const bool 有状态 = 加载本地版本状态(stateRoot, &现有文本, &现有);
  // A write built on an older read would drop what the other run committed in between.
  if (有状态 != 读到的代次.has_value() || (有状态 && 现有.generation != *读到的代次)) return false;
  const auto 路径 = 取本地版本状态路径(stateRoot);
  return 保存本地版本状态(路径.主文件, 路径.备份文件, 文本);
}

}  // namespace tallybell
