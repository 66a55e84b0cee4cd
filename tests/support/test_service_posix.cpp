// The service as a child process: it exits when its standard input (held here) closes,
// and is killed when the object goes.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "support/environment_guard.h"
#include "support/test_service.h"
#include "support/test_service_process.h"

extern char** environ;

namespace tallybell::测试 {
namespace {

// The Debian interpreter starts fastest; any python3 on PATH will do elsewhere.
const char* 解释器() { return ::access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3"; }

// The "ready <port>" line the service prints once it listens; 0 when its output ends first.
std::uint16_t 读端口(int 输出) {
  std::string 行;
  char 字符 = 0;
  while (行.find('\n') == std::string::npos) {
    const ssize_t 数量 = ::read(输出, &字符, 1);
    if (数量 == 1) {
      行 += 字符;
    } else if (数量 == 0 || errno != EINTR) {
      break;
    }
  }
  unsigned 端口 = 0;
  return std::sscanf(行.c_str(), "ready %u", &端口) == 1 && 端口 <= 65535 ? static_cast<std::uint16_t>(端口) : 0;
}

}  // namespace

void 服务进程::启动(const std::vector<std::string>& 参数, const std::filesystem::path& 控制目录) {
  int 输入管道[2];
  int 输出管道[2];
  if (::pipe2(输入管道, O_CLOEXEC) != 0) return;
  if (::pipe2(输出管道, O_CLOEXEC) != 0) {
    ::close(输入管道[0]);
    ::close(输入管道[1]);
    return;
  }
  std::vector<std::string> 全部 = {解释器()};
  全部.insert(全部.end(), 参数.begin(), 参数.end());
  全部.insert(全部.end(), {"--control-dir", 控制目录.string()});
  std::vector<char*> 指针;
  for (auto& 项 : 全部) 指针.push_back(项.data());
  指针.push_back(nullptr);
  const std::string 日志 = (控制目录 / "service.stderr").string();
  posix_spawn_file_actions_t 动作;
  posix_spawn_file_actions_init(&动作);
  posix_spawn_file_actions_adddup2(&动作, 输入管道[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&动作, 输出管道[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&动作, STDERR_FILENO, 日志.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t 进程 = -1;
  const int 错误 = ::posix_spawnp(&进程, 指针[0], &动作, nullptr, 指针.data(), environ);
  posix_spawn_file_actions_destroy(&动作);
  ::close(输入管道[0]);
  ::close(输出管道[1]);
  输入_ = 输入管道[1];
  if (错误 == 0) {
    进程_ = 进程;
    端口 = 读端口(输出管道[0]);
  }
  ::close(输出管道[0]);
}

服务进程::~服务进程() {
  if (输入_ >= 0) ::close(输入_);
  if (进程_ > 0) {
    ::kill(static_cast<pid_t>(进程_), SIGKILL);
    while (::waitpid(static_cast<pid_t>(进程_), nullptr, 0) < 0 && errno == EINTR) {
    }
  }
}

std::string 网络测试不可运行原因() { return {}; }

void 只信任(const 测试服务& 服务, 环境变量保护* 环境) {
  for (const char* 名称 : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY", "no_proxy",
                           "NO_PROXY", "SSL_CERT_DIR"}) {
    环境->设置(名称, std::nullopt);
  }
  环境->设置("SSL_CERT_FILE", 服务.CA文件());
}

}  // namespace tallybell::测试
