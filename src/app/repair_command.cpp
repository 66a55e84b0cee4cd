// --repair-tasks [--state-root <dir>]: keeps the installation's random delay and
// registers the scheduled background check. Registering needs administrative rights, so a
// process without them starts itself again elevated and passes on the child's exit code.
#include "app/repair_command.h"

#include "app/commands.h"
#include "app/result_output.h"
#include "common/codes.h"
#include "common/command_line.h"
#include "common/text.h"
#include "platform/file_system.h"
#include "platform/system_info.h"
#include "tasks/task_delay.h"

namespace tallybell {
namespace {

// The elevated child gets the state root explicitly, so that both processes work on the
// same directory even when the parent's came from the command line.
std::uint32_t 提升后重新运行(const std::wstring& stateRoot, const 任务修复环境& 环境) {
  const auto 结果 =
      环境.提升权限重新启动(L"--repair-tasks --elevated-repair-tasks --state-root " + 引用参数(stateRoot));
  if (!结果.已启动) {
    环境.写输出("repair background task elevation failed windows-error=" + 十进制(结果.系统错误) + "\n");
    return 任务修复失败;
  }
  return 结果.有退出码 ? 结果.退出码 : 任务修复失败;
}

// True when 路径 names something that exists and is not a directory.
bool 是现有文件(const std::wstring& 路径) {
  platform::文件信息 信息;
  return !路径.empty() && platform::文件调用().查询(路径, &信息) && 信息.存在 && !信息.是目录;
}

// The repair itself; *消息 receives the sentence of a failure.
std::uint32_t 修复任务(const std::wstring& stateRoot, const 任务修复环境& 环境, std::wstring* 消息) {
  const std::wstring 本程序 = 环境.本程序路径();
  if (stateRoot.empty()) {
    *消息 = L"后台更新任务缺少状态目录。";
    return 参数无效;
  }
  if (!是现有文件(本程序)) {
    *消息 = L"更新核心文件不存在。";
    return 任务修复失败;
  }
  std::uint32_t 延迟 = 0;
  if (!读取或创建任务延迟(stateRoot, &延迟)) {
    *消息 = L"无法保存后台更新随机延迟。";
    return 任务修复失败;
  }
  后台更新任务定义 定义;
  if (!构建后台更新任务定义(本程序, 延迟, &定义, 消息) || !环境.注册任务(定义, 消息)) return 任务修复失败;
  return 成功;
}

}  // namespace

任务修复环境 系统任务修复环境() {
  任务修复环境 环境;
  环境.取默认目录 = 取默认目录;
  环境.已提升权限 = platform::已提升权限;
  环境.提升权限重新启动 = platform::提升权限重新启动;
  环境.本程序路径 = platform::本程序路径;
  环境.注册任务 = 注册后台更新任务;
  环境.写输出 = [](const std::string& 文本) { 写控制台(文本); };
  return 环境;
}

std::uint32_t 运行任务修复命令(const 命令行参数& 命令, const 任务修复环境& 环境) {
  默认目录 目录;
  if (!环境.取默认目录(&目录)) {
    环境.写输出("错误 1001：无法确定默认更新目录。\n");
    return 默认目录不可用;
  }
  const std::wstring stateRoot = 命令.值(L"--state-root").value_or(目录.stateRoot);
  if (!环境.已提升权限() && !命令.有标志(L"--elevated-repair-tasks")) return 提升后重新运行(stateRoot, 环境);

  std::wstring 消息;
  const std::uint32_t 代码 = 修复任务(stateRoot, 环境, &消息);
  if (代码 == 成功) {
    环境.写输出("background update task ready\n");
    return 成功;
  }
  std::string 消息文本;
  if (!宽转UTF8(消息, &消息文本)) 消息文本.clear();
  环境.写输出("repair background task failed code=" + 十进制(代码) + "\n" + 消息文本 + "\n");
  return 代码;
}

std::uint32_t 运行任务修复命令(const 命令行参数& 命令) { return 运行任务修复命令(命令, 系统任务修复环境()); }

}  // namespace tallybell
