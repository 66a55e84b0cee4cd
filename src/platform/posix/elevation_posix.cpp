// Administrative rights on POSIX are the effective user id 0; the elevated re-launch goes
// through pkexec where it is installed and through a non-interactive sudo otherwise.
#include "platform/posix/child_process_posix.h"
#include "platform/elevation.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "common/command_line.h"
#include "common/text.h"
#include "platform/posix/path_posix.h"
#include "platform/system_info.h"

extern char** environ;

namespace tallybell::platform {
namespace {

bool 可执行(const char* 路径) { return ::access(路径, X_OK) == 0; }

}  // namespace

bool 已提升权限() { return ::geteuid() == 0; }

重新启动结果 提升权限重新启动(const std::wstring& 参数) {
  重新启动结果 结果;
  std::string 程序;
  if (!宽转UTF8(本程序路径(), &程序) || 程序.empty()) {
    结果.系统错误 = ENOENT;
    return 结果;
  }
  std::vector<std::string> 参数表;
  if (可执行("/usr/bin/pkexec")) {
    参数表 = {"/usr/bin/pkexec", 程序};
  } else {
    参数表 = {"/usr/bin/sudo", "-n", "--", 程序};
  }
  // The parameters are one command line quoted the Windows way; split it back so the
  // child sees exactly the arguments the parent meant.
  for (const auto& 项 : 拆分命令行(参数)) {
    std::string 字节;
    if (!宽转POSIX字节(项, &字节)) {
      结果.系统错误 = EINVAL;
      return 结果;
    }
    参数表.push_back(std::move(字节));
  }
  std::vector<char*> 指针;
  for (auto& 项 : 参数表) 指针.push_back(项.data());
  指针.push_back(nullptr);

  pid_t 子进程 = 0;
  const int 错误 = ::posix_spawn(&子进程, 指针[0], nullptr, nullptr, 指针.data(), environ);
  if (错误 != 0) {
    结果.系统错误 = static_cast<std::uint32_t>(错误);
    return 结果;
  }
  结果.已启动 = true;
  结果.有退出码 = 等待子进程退出(子进程, &结果.退出码);
  return 结果;
}

}  // namespace tallybell::platform
