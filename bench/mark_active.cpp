// Does what the application's launcher does once a pending release has run well: makes it
// the active and last good release of the state below <stateRoot>. bench/run uses it to
// put an installation in the "active and complete" state before timing a verification.
// Usage: tallybell-bench-mark-active <stateRoot>
#include <cstdio>
#include <string>

#include "common/text.h"
#include "storage/version_state.h"

namespace {

using namespace tallybell;

int 运行(int 参数数, char** 参数) {
  if (参数数 != 2) {
    std::fprintf(stderr, "usage: %s <stateRoot>\n", 参数[0]);
    return 2;
  }
  const std::wstring 状态根 = UTF8转宽宽松(参数[1]);
  std::string 文本;
  本地版本状态 状态;
  if (!加载本地版本状态(状态根, &文本, &状态) || 状态.pendingRelease.empty()) {
    std::fprintf(stderr, "no state with a pending release below %s\n", 参数[1]);
    return 1;
  }
  状态.activeRelease = 状态.pendingRelease;
  状态.lastGoodRelease = 状态.pendingRelease;
  状态.pendingRelease.clear();
  const auto 路径 = 取本地版本状态路径(状态根);
  const std::string 新文本 = 递增代次(&状态) ? 序列化本地版本状态(状态) : std::string();
  if (新文本.empty() || !保存本地版本状态(路径.主文件, 路径.备份文件, 新文本)) {
    std::fprintf(stderr, "cannot save the state below %s\n", 参数[1]);
    return 1;
  }
  return 0;
}

}  // namespace

int main(int 参数数, char** 参数) { return 运行(参数数, 参数); }
