// Starting the test service's process, as each platform does it.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace tallybell::测试 {

// Starts python3 with 参数 and "--control-dir <控制目录>"; the service writes its port to
// <控制目录>/ready once it listens. It ends with *持有者 at the latest (under Wine: once
// the control directory is gone).
bool 启动服务进程(const std::vector<std::string>& 参数, const std::filesystem::path& 控制目录,
                  std::shared_ptr<void>* 持有者);

}  // namespace tallybell::测试
