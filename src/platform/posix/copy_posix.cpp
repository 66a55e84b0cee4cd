#include "platform/posix/copy_posix.h"

#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <new>

namespace tallybell::platform {
namespace {

constexpr std::size_t 读写块 = 1048576;

// The answers of a file system that cannot do a kind of copy at all, as opposed to one that
// failed while doing it.
bool 不支持(int 错误) {
  return 错误 == EXDEV || 错误 == EOPNOTSUPP || 错误 == ENOTSUP || 错误 == ENOSYS || 错误 == EINVAL;
}

bool 读写复制(int 输入, int 输出) {
  std::unique_ptr<char[]> 缓冲(new (std::nothrow) char[读写块]);
  if (!缓冲) {
    errno = ENOMEM;
    return false;
  }
  for (;;) {
    const ssize_t 已读 = ::read(输入, 缓冲.get(), 读写块);
    if (已读 == 0) return true;
    if (已读 < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    for (ssize_t 已写 = 0; 已写 < 已读;) {
      const ssize_t 数量 = ::write(输出, 缓冲.get() + 已写, static_cast<std::size_t>(已读 - 已写));
      if (数量 < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      已写 += 数量;
    }
  }
}

}  // namespace

bool 复制文件内容(int 输入, int 输出) {
  // A clone covers the whole file; the positions of both are still at 0 here.
  if (::lseek(输入, 0, SEEK_CUR) == 0 && ::lseek(输出, 0, SEEK_CUR) == 0 && ::ioctl(输出, FICLONE, 输入) == 0) {
    return true;
  }
  for (;;) {
    const ssize_t 数量 = ::copy_file_range(输入, nullptr, 输出, nullptr, 1 << 30, 0);
    if (数量 == 0) return true;
    if (数量 < 0) {
      if (errno == EINTR) continue;
      // The file offsets have moved past whatever was copied, so the plain loop goes on
      // from there.
      if (不支持(errno)) return 读写复制(输入, 输出);
      return false;
    }
  }
}

}  // namespace tallybell::platform
