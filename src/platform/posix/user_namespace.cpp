#include "platform/posix/user_namespace.h"

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "common/text.h"

namespace tallybell::platform {

std::string 用户命名空间路径() {
  const char* 运行目录 = std::getenv("XDG_RUNTIME_DIR");
  if (运行目录 != nullptr && 运行目录[0] == '/') {
    std::string 路径 = 运行目录;
    if (路径.back() != '/') 路径 += '/';
    return 路径 + "Tallybell";
  }
  // Files are created with the effective user id, so the directory is named after it.
  return "/tmp/Tallybell-" + 十进制(static_cast<std::uint64_t>(::geteuid()));
}

bool 取用户命名空间目录(std::string* 目录) {
  std::string 路径 = 用户命名空间路径();
  if (::mkdir(路径.c_str(), 0700) != 0 && errno != EEXIST) {
    目录->clear();
    return false;
  }
  // Checked whether we created it or not: under /tmp another user may have been first.
  struct stat 信息 {};
  if (::lstat(路径.c_str(), &信息) != 0 || S_ISLNK(信息.st_mode) || !S_ISDIR(信息.st_mode) ||
      信息.st_uid != ::geteuid()) {
    目录->clear();
    return false;
  }
  *目录 = std::move(路径);
  return true;
}

}  // namespace tallybell::platform
