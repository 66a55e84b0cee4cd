// The background check's schedule on POSIX: a systemd service and timer pair.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/child_process_posix.h"
#include "common/failure.h"
#include "platform/file_system.h"
#include "platform/posix/systemd_units.h"
#include "platform/task_scheduler.h"

extern char** environ;

namespace tallybell::platform {
namespace {

// Owns the file actions of one spawn.
class 派生动作 {
 public:
  派生动作() { 有效_ = ::posix_spawn_file_actions_init(&动作_) == 0; }
  ~派生动作() {
    if (有效_) ::posix_spawn_file_actions_destroy(&动作_);
  }
  派生动作(const 派生动作&) = delete;
  派生动作& operator=(const 派生动作&) = delete;
  posix_spawn_file_actions_t* get() { return 有效_ ? &动作_ : nullptr; }

 private:
  posix_spawn_file_actions_t 动作_;
  bool 有效_ = false;
};

bool systemd正在运行(const std::wstring& 运行标记) {
  文件信息 信息;
  return 文件调用().查询(运行标记, &信息) && 信息.存在 && 信息.是目录;
}

// Writes the pair; when the timer cannot be written the service gets its previous
// content back (or disappears when it is new), so that no mixed pair is left behind.
bool 写入单元对(const 计划任务文件& 文件, const std::wstring& 服务路径, const std::string& 服务,
                const std::wstring& 定时器路径, const std::string& 定时器) {
  if (!文件.读取 || !文件.原子写入 || !文件.删除) return false;
  std::string 旧服务;
  const bool 有旧服务 = 文件.读取(服务路径, &旧服务);
  if (!文件.原子写入(服务路径, 服务)) return false;
  if (文件.原子写入(定时器路径, 定时器)) return true;
  if (有旧服务) {
    文件.原子写入(服务路径, 旧服务);
  } else {
    文件.删除(服务路径);
  }
  return false;
}

// Unit directories are POSIX paths, so the separator is always '/'.
std::wstring 单元路径(const std::wstring& 目录, const wchar_t* 名称) {
  return 目录.empty() || 目录.back() == L'/' ? 目录 + 名称 : 目录 + L'/' + 名称;
}

bool 运行成功(const systemd注册环境& 环境, const std::vector<std::string>& 参数) {
  const 命令结果 结果 = 环境.运行命令(参数);
  return 结果.已启动 && 结果.有退出码 && 结果.退出码 == 0;
}

}  // namespace

命令结果 运行系统命令(const std::vector<std::string>& 参数) {
  命令结果 结果;
  if (参数.empty()) return 结果;
  std::vector<std::string> 副本 = 参数;
  std::vector<char*> 指针;
  for (auto& 项 : 副本) 指针.push_back(项.data());
  指针.push_back(nullptr);
  派生动作 动作;
  if (动作.get() == nullptr || ::posix_spawn_file_actions_adddup2(动作.get(), STDERR_FILENO, STDOUT_FILENO) != 0) {
    return 结果;
  }
  pid_t 子进程 = 0;
  if (::posix_spawnp(&子进程, 指针[0], 动作.get(), nullptr, 指针.data(), environ) != 0) return 结果;
  结果.已启动 = true;
  std::uint32_t 退出码 = 0;
  结果.有退出码 = 等待子进程退出(子进程, &退出码);
  结果.退出码 = static_cast<int>(退出码);
  return 结果;
}

bool 注册systemd任务(const 后台更新任务定义& 定义, const systemd注册环境& 环境, std::wstring* 错误) {
  if (!systemd正在运行(环境.运行标记)) return 失败(错误, L"系统未运行 systemd，无法注册后台更新任务。");
  std::string 服务, 定时器;
  if (!生成systemd服务单元(定义, &服务) || !生成systemd定时器单元(定义, &定时器)) {
    return 失败(错误, L"后台更新任务的设置无法写成 systemd 单元。");
  }
  const std::wstring 服务路径 = 单元路径(环境.单元目录, L"tallybell-update.service");
  const std::wstring 定时器路径 = 单元路径(环境.单元目录, L"tallybell-update.timer");
  if (!写入单元对(环境.文件, 服务路径, 服务, 定时器路径, 定时器)) return 失败(错误, L"无法写入后台更新任务的 systemd 单元。");
  if (!运行成功(环境, {"systemctl", "daemon-reload"})) return 失败(错误, L"重新加载 systemd 配置失败。");
  if (!运行成功(环境, {"systemctl", "enable", "--now", systemd定时器单元名})) {
    return 失败(错误, L"启用后台更新定时器失败。");
  }
  if (错误 != nullptr) 错误->clear();
  return true;
}

bool 注册计划任务(const 后台更新任务定义& 定义, const 计划任务文件& 文件, std::wstring* 错误) {
  systemd注册环境 环境;
  环境.文件 = 文件;
  return 注册systemd任务(定义, 环境, 错误);
}

}  // namespace tallybell::platform
