#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "support/program_runner.h"

extern char** environ;

namespace tallybell::测试 {

std::uint32_t 可观察退出码(std::uint32_t 完整退出码) { return 完整退出码 & 0xFF; }

程序结果 运行更新程序(const std::vector<std::string>& 参数, const std::map<std::string, std::string>& 环境) {
  return 运行程序(TALLYBELL_PROGRAM_PATH, 参数, 环境);
}

程序结果 运行程序(const std::string& 程序, const std::vector<std::string>& 参数,
                  const std::map<std::string, std::string>& 环境, bool 合并错误输出) {
  程序结果 结果;
  int 管道[2];
  if (::pipe2(管道, O_CLOEXEC) != 0) return 结果;
  std::vector<std::string> 参数表 = {程序};
  参数表.insert(参数表.end(), 参数.begin(), 参数.end());
  std::vector<char*> 参数指针;
  for (auto& 项 : 参数表) 参数指针.push_back(项.data());
  参数指针.push_back(nullptr);

  std::map<std::string, std::string> 合并;
  for (char** 项 = environ; *项 != nullptr; ++项) {
    const std::string 文本 = *项;
    const auto 等号 = 文本.find('=');
    if (等号 != std::string::npos) 合并[文本.substr(0, 等号)] = 文本.substr(等号 + 1);
  }
  for (const auto& [名, 值] : 环境) 合并[名] = 值;
  std::vector<std::string> 环境表;
  for (const auto& [名, 值] : 合并) 环境表.push_back(名 + "=" + 值);
  std::vector<char*> 环境指针;
  for (auto& 项 : 环境表) 环境指针.push_back(项.data());
  环境指针.push_back(nullptr);

  posix_spawn_file_actions_t 动作;
  posix_spawn_file_actions_init(&动作);
  posix_spawn_file_actions_adddup2(&动作, 管道[1], STDOUT_FILENO);
  if (合并错误输出) posix_spawn_file_actions_adddup2(&动作, 管道[1], STDERR_FILENO);
  pid_t 子进程 = 0;
  const int 错误 = ::posix_spawn(&子进程, 参数指针[0], &动作, nullptr, 参数指针.data(), 环境指针.data());
  posix_spawn_file_actions_destroy(&动作);
  ::close(管道[1]);
  if (错误 != 0) {
    ::close(管道[0]);
    return 结果;
  }
  char 缓冲[4096];
  for (;;) {
    const ssize_t 数量 = ::read(管道[0], 缓冲, sizeof 缓冲);
    if (数量 > 0) {
      结果.输出.append(缓冲, static_cast<std::size_t>(数量));
    } else if (数量 == 0 || errno != EINTR) {
      break;
    }
  }
  ::close(管道[0]);
  int 状态 = 0;
  while (::waitpid(子进程, &状态, 0) < 0 && errno == EINTR) {
  }
  结果.已运行 = WIFEXITED(状态);
  结果.退出码 = 结果.已运行 ? static_cast<std::uint32_t>(WEXITSTATUS(状态)) : 0;
  return 结果;
}

}  // namespace tallybell::测试
