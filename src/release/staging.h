// Private staging directories under <stateRoot>/staging, where releases are built before
// one rename makes them visible.
#pragma once

#include <string>

#include "platform/file_lock.h"

namespace tallybell {

// A run's own staging directory <stateRoot>/staging/<前缀>-<pid>-<tick>. The lock file
// beside it (the same name + ".lock") is taken before the directory exists and held while
// this object lives, so clean-up by another run, even one that does not share the
// coordinator lock, never removes a directory that is still in use.
class 暂存目录 {
 public:
  // 路径() is empty when the staging folder or the lock cannot be made (a link in place of
  // <stateRoot>/staging included).
  暂存目录(const std::wstring& stateRoot, const wchar_t* 前缀);
  // Releases the lock and removes its file. The directory itself is left as the run left
  // it: what remains is removed by the next clean-up.
  ~暂存目录();
  暂存目录(const 暂存目录&) = delete;
  暂存目录& operator=(const 暂存目录&) = delete;

  const std::wstring& 路径() const { return 路径_; }

 private:
  platform::文件锁 锁_;
  std::wstring 路径_;
};

// Removes the "prepare-" and "assemble-" directories that interrupted runs left behind:
// only those whose lock no run holds, and never anything reached through a link.
void 清理遗留暂存目录(const std::wstring& stateRoot);

}  // namespace tallybell
