#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "support/child_process.h"

extern char** environ;

namespace tallybell::测试 {
namespace {

子进程结局 解读(int 状态) {
  return {true, WIFEXITED(状态) != 0, WIFEXITED(状态) ? static_cast<std::uint32_t>(WEXITSTATUS(状态)) : 0u,
          WIFSIGNALED(状态) ? WTERMSIG(状态) : 0};
}

}  // namespace

子进程::子进程(const std::string& 程序, const std::vector<std::string>& 参数, const std::filesystem::path& 输出文件,
               const std::map<std::string, std::string>& 环境, bool 合并错误输出, bool 保持输入) {
  int 管道[2] = {-1, -1};
  if (保持输入 && ::pipe2(管道, O_CLOEXEC) != 0) return;
  // argv and envp as posix_spawn takes them; 环境 overrides inherited variables of its names.
  std::vector<char*> 指针{const_cast<char*>(程序.c_str())}, 环境指针;
  for (const auto& 项 : 参数) 指针.push_back(const_cast<char*>(项.c_str()));
  std::vector<std::string> 环境表;
  for (char** 项 = environ; *项 != nullptr; ++项) {
    if (环境.count(std::string(*项).substr(0, std::string(*项).find('='))) == 0) 环境表.push_back(*项);
  }
  for (const auto& [名, 值] : 环境) 环境表.push_back(名 + "=" + 值);
  for (auto& 项 : 环境表) 环境指针.push_back(项.data());
  指针.push_back(nullptr);
  环境指针.push_back(nullptr);
  posix_spawn_file_actions_t 动作;
  posix_spawn_file_actions_init(&动作);
  posix_spawn_file_actions_addopen(&动作, STDOUT_FILENO, 输出文件.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  if (合并错误输出) posix_spawn_file_actions_adddup2(&动作, STDOUT_FILENO, STDERR_FILENO);
  if (保持输入) posix_spawn_file_actions_adddup2(&动作, 管道[0], STDIN_FILENO);
  pid_t 进程 = -1;
  if (::posix_spawn(&进程, 程序.c_str(), &动作, nullptr, 指针.data(), 环境指针.data()) == 0) 进程号_ = 进程;
  posix_spawn_file_actions_destroy(&动作);
  if (保持输入) ::close(管道[0]);
  输入_ = 管道[1];
}

子进程::~子进程() {
  if (输入_ >= 0) ::close(输入_);
  if (已启动() && !结局_.已结束) 强制结束();
}

子进程结局 子进程::等待(std::uint32_t 毫秒) {
  if (!已启动() || 结局_.已结束) return 结局_;
  const auto 截止 = std::chrono::steady_clock::now() + std::chrono::milliseconds(毫秒);
  for (;;) {
    int 状态 = 0;
    const pid_t 结果 = ::waitpid(进程号_, &状态, WNOHANG);
    if (结果 == 进程号_) return 结局_ = 解读(状态);
    if (结果 < 0 && errno != EINTR) {
      结局_.已结束 = true;  // not ours to wait for any more
      return 结局_;
    }
    if (std::chrono::steady_clock::now() >= 截止) return 结局_;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
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
  return 结局_ = 解读(状态);
}

std::string 本程序路径() { return std::filesystem::read_symlink("/proc/self/exe").string(); }

}  // namespace tallybell::测试
