#include "platform/private_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/fd_posix.h"
#include "platform/posix/path_posix.h"

namespace tallybell::platform {

bool 写入私有新文件(const std::wstring& 路径, const std::string& 内容) {
  std::string 路径8;
  if (!转POSIX路径(路径, &路径8)) return false;
  // The mode is given at creation, so the secret is never readable by others, not even
  // for a moment; fchmod then undoes whatever the umask took away from the owner.
  唯一文件描述符 文件(::open(路径8.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!文件.有效()) return false;
  bool 成功 = ::fchmod(文件.get(), 0600) == 0;
  for (std::size_t 已写 = 0; 成功 && 已写 < 内容.size();) {
    const ssize_t 本次 = ::write(文件.get(), 内容.data() + 已写, 内容.size() - 已写);
    if (本次 < 0 && errno == EINTR) continue;
    成功 = 本次 > 0;
    if (成功) 已写 += static_cast<std::size_t>(本次);
  }
  成功 = 成功 && ::fsync(文件.get()) == 0;
  文件.重置();
  if (!成功) ::unlink(路径8.c_str());
  return 成功;
}

}  // namespace tallybell::platform
