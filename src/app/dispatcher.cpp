#include "app/dispatcher.h"

#include "app/arguments.h"
#include "app/commands.h"
#include "app/result_output.h"
#include "common/codes.h"

namespace tallybell {
namespace {

constexpr char 用法文本[] =
    "Tallybell更新核心\n"
    "用法：\n"
    "  --background-check [--force-check] [--recover-unusable-state]\n"
    "  --offline-fixture <目录> --prepare-release <releaseId> [--program-root <目录> --state-root <目录>]\n"
    "  --repair-tasks\n"
    "  --report-result [--result-url <HTTPS地址>] [--state-root <目录>]\n";

constexpr char 版本行[] = "Tallybell updater " TALLYBELL_VERSION_TEXT " x64\n";

}  // namespace

std::uint32_t 程序入口(const std::vector<std::wstring>& 参数) {
  命令行参数 命令(参数.empty() ? std::vector<std::wstring>{}
                                : std::vector<std::wstring>(参数.begin() + 1, 参数.end()));
  // The order matters: help beats everything, version beats every command, and offline
  // preparation wins even when --background-check is present too.
  if (命令.为空() || 命令.有标志(L"--help")) {
    写控制台(用法文本);
    return 成功;
  }
  if (命令.有标志(L"--version")) {
    写控制台(版本行);
    return 成功;
  }
  if (命令.有标志(L"--prepare-release")) return 运行离线准备命令(命令);
  if (命令.有标志(L"--background-check")) return 运行后台检查命令(命令);
  if (命令.有标志(L"--repair-tasks")) return 运行任务修复命令(命令);
  if (命令.有标志(L"--report-result")) return 运行结果回报命令(命令);
  写控制台("错误 3001：未知更新命令。\n");
  return 参数无效;
}

}  // namespace tallybell
