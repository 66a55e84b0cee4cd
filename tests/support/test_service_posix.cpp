// The service as a child process: it exits when its standard input (held here) closes, so
// also when this program dies, and is killed when the object goes.
#include <fcntl.h>
#include <unistd.h>

#include "support/child_process.h"
#include "support/environment_guard.h"
#include "support/test_service.h"
#include "support/test_service_process.h"

namespace tallybell::测试 {

bool 启动服务进程(const std::vector<std::string>& 参数, const std::filesystem::path& 控制目录,
                  std::shared_ptr<void>* 持有者) {
  int 管道[2];
  if (::pipe2(管道, O_CLOEXEC) != 0) return false;
  struct 服务子进程 {
    int 输入;
    子进程 进程;
    ~服务子进程() { ::close(输入); }
  };
  std::vector<std::string> 全部 = 参数;
  全部.insert(全部.end(), {"--control-dir", 控制目录.string()});
  auto 子 = std::shared_ptr<服务子进程>(new 服务子进程{
      管道[1], 子进程("/usr/bin/python3", 全部, 控制目录 / "service.stderr", {}, true, 管道[0])});
  ::close(管道[0]);
  *持有者 = 子;
  return 子->进程.已启动();
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
