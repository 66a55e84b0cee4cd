// --background-check: one update run, elevated when the program root needs it.
#include <memory>

#include "app/commands.h"
#include "app/elevation_decision.h"
#include "app/result_output.h"
#include "common/codes.h"
#include "common/guid_text.h"
#include "common/text.h"
#include "coordinator/coordinator.h"
#include "diagnostics/channel.h"
#include "diagnostics/diagnostic_line.h"
#include "platform/clock.h"
#include "platform/elevation.h"
#include "platform/system_info.h"
#include "storage/default_roots.h"
#include "transport/download_client.h"
#include "transport/json_http_client.h"
#include "transport/offline_fixture.h"

namespace tallybell {
namespace {

constexpr wchar_t 提升标志[] = L"--elevated-background-check";

// The given id when it is usable, otherwise a new GUID text (or pid and tick without one).
std::string 取诊断标识(const 命令行参数& 命令) {
  if (const auto 值 = 命令.值(L"--diagnostic-id")) {
    const std::string 标识 = 宽转UTF8宽松(*值);
    if (诊断标识有效(标识)) return 标识;
  }
  platform::GUID值 值;
  if (platform::生成GUID(&值)) return 宽转UTF8宽松(GUID注册表形式(值).substr(1, 36));
  return 十进制(platform::进程标识()) + "-" + 十进制(platform::毫秒计时());
}

// Starts the elevated child; its exit code is this command's.
std::uint32_t 提升权限运行(const 命令行参数& 命令) {
  const auto 结果 = platform::提升调用().提升权限重新启动(提升权限参数(命令.全部(), 提升标志));
  if (!结果.已启动) {
    写控制台("background update elevation failed windows-error=" + 十进制(结果.系统错误) + "\n");
    return 提升权限失败;
  }
  return 结果.有退出码 ? 结果.退出码 : 提升权限失败;
}

更新协调器配置 生成配置(const 命令行参数& 命令, const 默认目录& 默认) {
  更新协调器配置 配置;
  配置.programRoot = 默认.programRoot;
  配置.stateRoot = 默认.stateRoot;
  配置.cacheRoot = 默认.cacheRoot;
  if (const auto 值 = 命令.值(L"--program-root")) 配置.programRoot = *值;
  if (const auto 值 = 命令.值(L"--state-root")) {
    配置.stateRoot = *值;
    配置.cacheRoot = 状态根下的缓存目录(*值);
  }
  if (const auto 值 = 命令.值(L"--cache-root")) 配置.cacheRoot = *值;
  配置.resolveUrls = {逐字节加宽(TALLYBELL_RESOLVE_URL)};
  配置.trustedPublicKeys = TALLYBELL_TRUSTED_KEYS;
  配置.forceCheck = 命令.有标志(L"--force-check");
  配置.recoverUnusableState = 命令.有标志(L"--recover-unusable-state");
  配置.diagnosticId = 取诊断标识(命令);
  return 配置;
}

std::uint32_t 报告结果(std::uint32_t 代码, const 更新协调器结果& 结果, const std::wstring& 详情) {
  if (代码 != 成功) {
    写控制台("background update failed code=" + 十进制(代码) + "\n");
    std::string 文本;
    if (!详情.empty() && 宽转UTF8(详情, &文本)) 写控制台(文本 + "\n");
    return 代码;
  }
  if (结果.skippedUntilCheckAfter) {
    写控制台("background update skipped until checkAfter\n");
    return 结果.skippedWhileFailing ? 退避期间跳过 : 成功;
  }
  if (结果.olderPolicyIgnored) {
    写控制台("older update policy ignored\n");
  } else if (结果.alreadyRunning) {
    写控制台("background update already running\n");
  } else if (结果.releasePrepared) {
    写控制台("background release prepared\n");
  } else {
    写控制台("background update is current\n");
  }
  return 成功;
}

}  // namespace

std::uint32_t 运行后台检查命令(const 命令行参数& 命令) {
  默认目录 默认;
  const bool 有默认 = 取默认目录(&默认);
  std::wstring 程序根 = 默认.programRoot;
  if (const auto 值 = 命令.值(L"--program-root"); 值 && !值->empty()) 程序根 = *值;
  if (!platform::提升调用().已提升权限() && 程序根需要提升权限(程序根, platform::程序文件夹()) &&
      !命令.有标志(提升标志)) {
    return 提升权限运行(命令);
  }
  if (!有默认) {
    写控制台("错误 1001：无法确定默认更新目录。\n");
    return 默认目录不可用;
  }
  const 更新协调器配置 配置 = 生成配置(命令, 默认);

  更新协调器结果 结果;
  std::wstring 详情;
  std::uint32_t 代码 = 成功;
  const auto 夹具 = 命令.值(L"--offline-fixture");
  if (夹具) {
    离线更新夹具传输 传输(*夹具);
    代码 = 运行更新协调器(配置, &传输, &传输, &结果, &详情);
  } else {
    JsonHttp客户端 json;
    下载客户端 下载;
    代码 = 运行更新协调器(配置, &json, &下载, &结果, &详情);
  }
  if (代码 != 成功 || 配置.recoverUnusableState) {
    写诊断结果行(配置.diagnosticId, "update-core-result", 代码, [&] {
      return 更新核心结果字段(配置.recoverUnusableState, 结果.releasePrepared, 结果.alreadyRunning, 详情);
    });
  }
  return 报告结果(代码, 结果, 详情);
}

}  // namespace tallybell
