#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "support/child_process.h"

extern char** environ;

namespace tallybell::测试 {
namespace {

子进程结局 解读(int 状态) {
  子进程结局 结局;
  结局.已结束 = true;
  结局.正常退出 = WIFEXITED(状态);
  if (结局.正常退出) 结局.退出码 = static_cast<std::uint32_t>(WEXITSTATUS(状态));
  if (WIFSIGNALED(状态)) 结局.信号 = WTERMSIG(状态);
  return 结局;
}

}  // namespace

子进程::子进程(const std::string& 程序, const std::vector<std::string>& 参数, const std::filesystem::path& 输出文件,
               const std::map<std::string, std::string>& 环境, bool 合并错误输出, int 标准输入) {
  std::vector<std::string> 参数表 = 参数;
  参数表.insert(参数表.begin(), 程序);
  std::map<std::string, std::string> 合并;
  for (char** 项 = environ; *项 != nullptr; ++项) {
    const std::string 文本 = *项;
    const auto 等号 = 文本.find('=');
    if (等号 != std::string::npos) 合并[文本.substr(0, 等号)] = 文本.substr(等号 + 1);
  }
  for (const auto& [名, 值] : 环境) 合并[名] = 值;
  std::vector<std::string> 环境表;
  for (const auto& [名, 值] : 合并) 环境表.push_back(名 + "=" + 值);
  std::vector<char*> 指针, 环境指针;
  for (auto& 项 : 参数表) 指针.push_back(项.data());
  for (auto& 项 : 环境表) 环境指针.push_back(项.data());
  指针.push_back(nullptr);
  环境指针.push_back(nullptr);
  posix_spawn_file_actions_t 动作;
  posix_spawn_file_actions_init(&动作);
  posix_spawn_file_actions_addopen(&动作, STDOUT_FILENO, 输出文件.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  if (合并错误输出) posix_spawn_file_actions_adddup2(&动作, STDOUT_FILENO, STDERR_FILENO);
  if (标准输入 >= 0) posix_spawn_file_actions_adddup2(&动作, 标准输入, STDIN_FILENO);
  pid_t 进程 = -1;
  if (::posix_spawn(&进程, 程序.c_str(), &动作, nullptr, 指针.data(), 环境指针.data()) == 0) 进程号_ = 进程;
  posix_spawn_file_actions_destroy(&动作);
}

子进程::~子进程() {
  if (已启动() && !结局_.已结束) 强制结束();
}

子进程结局 子进程::等待(std::uint32_t 毫秒) {
  if (!已启动() || 结局_.已结束) return 结局_;
  timespec 开始{};
  ::clock_gettime(CLOCK_MONOTONIC, &开始);
  for (;;) {
    int 状态 = 0;
    const pid_t 结果 = ::waitpid(进程号_, &状态, WNOHANG);
    if (结果 == 进程号_) {
      结局_ = 解读(状态);
      return 结局_;
    }
    if (结果 < 0 && errno != EINTR) {
      结局_.已结束 = true;  // not ours to wait for any more
      return 结局_;
    }
    timespec 现在{};
    ::clock_gettime(CLOCK_MONOTONIC, &现在);
    const long long 已过 = (现在.tv_sec - 开始.tv_sec) * 1000LL + (现在.tv_nsec - 开始.tv_nsec) / 1000000LL;
    if (已过 >= 毫秒) return 结局_;
    const timespec 间隔{0, 1000 * 1000};
    ::nanosleep(&间隔, nullptr);
  }
}

子进程结局 子进程::强制结束() {
  if (!已启动() || 结局_.已结束) return 结局_;
  // A child that ended by itself stays a zombie until reaped, so the signal cannot reach
  // another process; the reaped status tells which of the two happened.
  ::kill(进程号_, SIGKILL);
  int 状态 = 0;
  while (::waitpid(进程号_, &状态, 0) < 0 && errno == EINTR) {
  }
  结局_ = 解读(状态);
  return 结局_;
}

std::string 本程序路径() {
  std::string 路径(4096, '\0');
  const ssize_t 长度 = ::readlink("/proc/self/exe", 路径.data(), 路径.size());
  路径.resize(长度 > 0 ? static_cast<std::size_t>(长度) : 0);
  return 路径;
}

}  // namespace tallybell::测试
