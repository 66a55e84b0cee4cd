// One update service on loopback with its database, published releases 1.0, 2.0 and 3.0
// (3.0 lacks an object, so every installation fails to download it), an injected clock,
// and installations run with the real update program.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "support/child_process.h"
#include "support/lock_namespace.h"
#include "support/program_runner.h"
#include "support/temp_dir.h"

namespace tallybell::测试 {

struct 安装运行 {
  std::uint32_t 退出码 = 0;
  std::string 目标;  // targetReleaseId of the installation's stored policy
  std::string 输出;
};

class 服务场 {
 public:
  服务场();
  ~服务场();

  // An operator command with --db and --clock-file added.
  程序结果 命令(std::vector<std::string> 参数);
  void 启动服务();
  void 停止服务();
  void 设置时钟(std::uint64_t 秒);
  std::uint64_t 时钟() const { return 时钟_; }

  // One forced background check of installation n, each with its own roots.
  安装运行 运行安装(int n);
  // A request straight to the service: the status and body.
  std::pair<int, std::string> 请求(const std::string& 方法, const std::string& 路径, const std::string& 正文,
                                   const std::vector<std::pair<std::string, std::string>>& 头 = {});
  // Polls `rollout status` until it shows 文本; the last output either way.
  std::string 等待状态(const std::string& 文本);
  // The SQLite file, or with TALLYBELL_SERVICE_TEST_PG (a PostgreSQL server's URI) a fresh
  // database on that server, so the same suite runs on both stores.
  const std::string& 数据库() const { return 数据库_; }

  测试临时目录 目录;

 private:
  私有锁命名空间 锁空间_;
  std::string 数据库_;
  std::unique_ptr<子进程> 服务_;
  std::uint64_t 时钟_ = 1796000000;
};

// The signature text beside release 2.0's manifest.
extern const std::string 签名文本;

// A resolve body as the update program sends it.
std::string 解析正文(const std::string& 安装标识);

}  // namespace tallybell::测试
