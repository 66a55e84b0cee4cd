// The test service's process, as each platform starts and ends it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace tallybell::测试 {

class 服务进程 {
 public:
  服务进程() = default;
  ~服务进程();
  服务进程(const 服务进程&) = delete;
  服务进程& operator=(const 服务进程&) = delete;

  // Starts python3 with 参数 and "--control-dir <控制目录>" and waits until it listens;
  // sets 端口 then.
  void 启动(const std::vector<std::string>& 参数, const std::filesystem::path& 控制目录);

  std::uint16_t 端口 = 0;

 private:
  long 进程_ = -1;
  int 输入_ = -1;
};

}  // namespace tallybell::测试
