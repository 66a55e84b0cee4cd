// The real file calls on POSIX.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>

#include "common/text.h"
#include "platform/file_system.h"
#include "platform/posix/copy_posix.h"
#include "platform/posix/fd_posix.h"
#include "platform/posix/path_posix.h"

namespace tallybell::platform {

bool 转POSIX路径(const std::wstring& 路径, std::string* 输出) {
  if (路径.empty() || !宽转POSIX字节(路径, 输出) || 输出->find('\0') != std::string::npos) {
    errno = EINVAL;
    return false;
  }
  return true;
}

bool 同步父目录(const std::string& 路径) {
  const auto 分隔 = 路径.find_last_of('/');
  const std::string 目录 = 分隔 == std::string::npos ? "." : 分隔 == 0 ? "/" : 路径.substr(0, 分隔);
  唯一文件描述符 描述符(::open(目录.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return 描述符.有效() && ::fsync(描述符.get()) == 0;
}

namespace {

int 描述符(原生文件 文件) { return static_cast<int>(文件); }

bool 打开(const std::wstring& 路径, 打开模式 模式, 原生文件* 输出) {
  std::string 路径8;
  if (!转POSIX路径(路径, &路径8)) return false;
  // Non-blocking so that a FIFO put where a file belongs is refused below instead of
  // hanging the open until some writer appears.
  int 标志 = O_CLOEXEC | O_NONBLOCK;
  switch (模式) {
    case 打开模式::读取已有:
    case 打开模式::顺序读取已有:
      标志 |= O_RDONLY | O_NOCTTY;
      break;
    case 打开模式::独占新建写入:
      标志 |= O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW;
      break;
    case 打开模式::读写打开或新建:
      标志 |= O_RDWR | O_CREAT | O_NOFOLLOW;
      break;
  }
  唯一文件描述符 结果(::open(路径8.c_str(), 标志, 0644));
  if (!结果.有效()) return false;
  // Only regular files are documents; a directory or device opened for reading is refused
  // here as Windows refuses it at CreateFile.
  struct stat 信息 {};
  if (::fstat(结果.get(), &信息) != 0) return false;
  if (!S_ISREG(信息.st_mode)) {
    errno = S_ISDIR(信息.st_mode) ? EISDIR : EINVAL;
    return false;
  }
  ::fcntl(结果.get(), F_SETFL, ::fcntl(结果.get(), F_GETFL) & ~O_NONBLOCK);
  if (模式 == 打开模式::顺序读取已有) ::posix_fadvise(结果.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
  *输出 = 结果.交出();
  return true;
}

bool 读取(原生文件 文件, void* 缓冲, std::size_t 容量, std::size_t* 已读) {
  for (;;) {
    const ssize_t 数量 = ::read(描述符(文件), 缓冲, 容量);
    if (数量 >= 0) {
      *已读 = static_cast<std::size_t>(数量);
      return true;
    }
    if (errno != EINTR) return false;
  }
}

bool 写入(原生文件 文件, const void* 数据, std::size_t 长度, std::size_t* 已写) {
  for (;;) {
    const ssize_t 数量 = ::write(描述符(文件), 数据, 长度);
    if (数量 >= 0) {
      *已写 = static_cast<std::size_t>(数量);
      return true;
    }
    if (errno != EINTR) return false;
  }
}

bool 刷新(原生文件 文件) { return ::fsync(描述符(文件)) == 0; }

bool 取大小(原生文件 文件, std::uint64_t* 大小) {
  struct stat 信息 {};
  if (::fstat(描述符(文件), &信息) != 0) return false;
  *大小 = static_cast<std::uint64_t>(信息.st_size);
  return true;
}

bool 定位(原生文件 文件, std::uint64_t 偏移) {
  return ::lseek(描述符(文件), static_cast<off_t>(偏移), SEEK_SET) >= 0;
}

bool 截断(原生文件 文件, std::uint64_t 长度) {
  return ::ftruncate(描述符(文件), static_cast<off_t>(长度)) == 0;
}

void 关闭(原生文件 文件) { ::close(描述符(文件)); }

bool 查询(const std::wstring& 路径, 文件信息* 输出) {
  *输出 = 文件信息{};
  std::string 路径8;
  if (!转POSIX路径(路径, &路径8)) {
    输出->错误码 = static_cast<std::uint32_t>(errno);
    return false;
  }
  struct stat 信息 {};
  if (::lstat(路径8.c_str(), &信息) != 0) {
    输出->错误码 = static_cast<std::uint32_t>(errno);
    输出->不存在 = errno == ENOENT;
    return false;
  }
  输出->存在 = true;
  输出->是链接 = S_ISLNK(信息.st_mode);
  输出->是目录 = S_ISDIR(信息.st_mode);
  输出->只读 = (信息.st_mode & S_IWUSR) == 0;
  输出->大小 = static_cast<std::uint64_t>(信息.st_size);
  return true;
}

bool 创建目录(const std::wstring& 路径, bool* 已存在) {
  *已存在 = false;
  std::string 路径8;
  if (!转POSIX路径(路径, &路径8)) return false;
  if (::mkdir(路径8.c_str(), 0755) == 0) return 同步父目录(路径8);
  *已存在 = errno == EEXIST;
  return false;
}

bool 删除文件(const std::wstring& 路径) {
  std::string 路径8;
  return 转POSIX路径(路径, &路径8) && ::unlink(路径8.c_str()) == 0;
}

bool 删除目录(const std::wstring& 路径) {
  std::string 路径8;
  return 转POSIX路径(路径, &路径8) && ::rmdir(路径8.c_str()) == 0;
}

bool 清除只读(const std::wstring& 路径) {
  std::string 路径8;
  struct stat 信息 {};
  if (!转POSIX路径(路径, &路径8) || ::lstat(路径8.c_str(), &信息) != 0) return false;
  if (S_ISLNK(信息.st_mode)) return true;  // a link has no mode of its own to change
  return ::chmod(路径8.c_str(), (信息.st_mode & 07777) | S_IWUSR) == 0;
}

bool 移动不替换(const std::wstring& 源, const std::wstring& 目标) {
  std::string 源8, 目标8;
  if (!转POSIX路径(源, &源8) || !转POSIX路径(目标, &目标8)) return false;
  if (::renameat2(AT_FDCWD, 源8.c_str(), AT_FDCWD, 目标8.c_str(), RENAME_NOREPLACE) != 0) {
    if (errno != EINVAL && errno != ENOSYS) return false;
    // Some file systems refuse the flag; a hard link gives the same no-replace guarantee
    // for files (directories cannot be linked, so they fail here).
    if (::link(源8.c_str(), 目标8.c_str()) != 0) return false;
    ::unlink(源8.c_str());
  }
  return 同步父目录(目标8) && 同步父目录(源8);
}

bool 移动并替换(const std::wstring& 源, const std::wstring& 目标) {
  std::string 源8, 目标8;
  if (!转POSIX路径(源, &源8) || !转POSIX路径(目标, &目标8)) return false;
  if (::rename(源8.c_str(), 目标8.c_str()) != 0) return false;
  return 同步父目录(目标8);
}

// The old target keeps its name until the new file takes it, so it never disappears:
// first its content is linked under a unique name and renamed over the backup, then the
// replacement is renamed over the target.
bool 替换并备份(const std::wstring& 目标, const std::wstring& 替换者, const std::wstring& 备份) {
  std::string 目标8, 替换者8;
  if (!转POSIX路径(目标, &目标8) || !转POSIX路径(替换者, &替换者8)) return false;
  struct stat 信息 {};
  if (::lstat(目标8.c_str(), &信息) != 0 || !S_ISREG(信息.st_mode)) return false;
  if (!备份.empty()) {
    std::string 备份8;
    if (!转POSIX路径(备份, &备份8)) return false;
    const std::string 链接名 = 替换者8 + ".bak-link";
    ::unlink(链接名.c_str());
    if (::link(目标8.c_str(), 链接名.c_str()) != 0) return false;
    if (::rename(链接名.c_str(), 备份8.c_str()) != 0) {
      ::unlink(链接名.c_str());
      return false;
    }
  }
  if (::rename(替换者8.c_str(), 目标8.c_str()) != 0) return false;
  return 同步父目录(目标8);
}

bool 复制文件不覆盖(const std::wstring& 源, const std::wstring& 目标) {
  std::string 源8, 目标8;
  if (!转POSIX路径(源, &源8) || !转POSIX路径(目标, &目标8)) return false;
  // Non-blocking for the same reason as 打开: a FIFO in a release tree would otherwise
  // hang the copy (and the coordinator lock it runs under) until someone writes to it.
  唯一文件描述符 输入(::open(源8.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
  struct stat 信息 {};
  if (!输入.有效() || ::fstat(输入.get(), &信息) != 0 || !S_ISREG(信息.st_mode)) return false;
  // The execute bits travel with the file, write access for group and others never does:
  // a release copied from a fixture someone made world-writable must not stay changeable
  // by every local user once it sits under the program root.
  唯一文件描述符 输出(::open(目标8.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                            信息.st_mode & 0755));
  if (!输出.有效()) return false;
  if (复制文件内容(输入.get(), 输出.get()) && ::fsync(输出.get()) == 0) return true;
  输出.重置();
  ::unlink(目标8.c_str());
  return false;
}

bool 枚举目录(const std::wstring& 路径, std::vector<目录项>* 输出) {
  输出->clear();
  std::string 路径8;
  if (!转POSIX路径(路径, &路径8)) return false;
  // O_NOFOLLOW: a link put in place of the directory is never listed through.
  唯一文件描述符 描述符(::open(路径8.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!描述符.有效()) return false;
  std::unique_ptr<DIR, int (*)(DIR*)> 目录(::fdopendir(描述符.get()), ::closedir);
  if (!目录) return false;
  描述符.交出();
  for (;;) {
    errno = 0;
    const dirent* 项 = ::readdir(目录.get());
    if (项 == nullptr) return errno == 0;
    const std::string 名称 = 项->d_name;
    if (名称 == "." || 名称 == "..") continue;
    struct stat 信息 {};
    if (::fstatat(::dirfd(目录.get()), 名称.c_str(), &信息, AT_SYMLINK_NOFOLLOW) != 0) {
      // Removed since readdir saw it (another process emptying a queue): it is simply not
      // there any more, which is no reason to fail the whole listing.
      if (errno == ENOENT) continue;
      return false;
    }
    目录项 条目;
    条目.名称 = POSIX字节转宽(名称);
    条目.是目录 = S_ISDIR(信息.st_mode);
    条目.是链接 = S_ISLNK(信息.st_mode);
    输出->push_back(std::move(条目));
  }
}

constexpr 文件调用表 真实调用表 = {
    打开, 读取, 写入, 刷新, 取大小, 定位, 截断, 关闭, 查询, 创建目录, 删除文件, 删除目录,
    清除只读, 移动不替换, 移动并替换, 替换并备份, 复制文件不覆盖, 枚举目录,
};

文件调用表 当前调用表 = 真实调用表;

}  // namespace

const 文件调用表& 系统文件调用表() { return 真实调用表; }
文件调用表& 文件调用() { return 当前调用表; }

}  // namespace tallybell::platform
