#include "support/program_runner.h"

#include <cstdint>
#include <limits>

#include "support/child_process.h"
#include "support/file_helpers.h"
#include "support/temp_dir.h"

namespace tallybell::测试 {

std::uint32_t 可观察退出码(std::uint32_t 完整退出码) { return 完整退出码 & 0xFF; }

程序结果 运行程序(const std::string& 程序, const std::vector<std::string>& 参数,
                  const std::map<std::string, std::string>& 环境, bool 合并错误输出) {
  测试临时目录 目录;
  子进程 进程(程序, 参数, 目录.子路径("output"), 环境, 合并错误输出);
  程序结果 结果;
  if (!进程.已启动()) return 结果;
  const 子进程结局 结局 = 进程.等待(std::numeric_limits<std::uint32_t>::max());
  结果.已运行 = 结局.正常退出;
  结果.退出码 = 结局.退出码;
  结果.输出 = 读测试文件(目录.子路径("output"));
  return 结果;
}

}  // namespace tallybell::测试
