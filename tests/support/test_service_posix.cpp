// The service as a child process: it exits when its standard input (a pipe the launcher
// holds) closes, so also when this program dies, and is killed when the object goes.
#include "support/child_process.h"
#include "support/test_service.h"

namespace tallybell::测试 {

bool 启动服务进程(const std::vector<std::string>& 参数, const std::filesystem::path& 控制目录,
                  std::shared_ptr<void>* 持有者) {
  std::vector<std::string> 全部 = 参数;
  全部.insert(全部.end(), {"--control-dir", 控制目录.string()});
  auto 进程 = std::make_shared<子进程>("/usr/bin/python3", 全部, 控制目录 / "service.stderr",
                                       std::map<std::string, std::string>{}, true, true);
  *持有者 = 进程;
  return 进程->已启动();
}

std::string 网络测试不可运行原因() { return {}; }

}  // namespace tallybell::测试
