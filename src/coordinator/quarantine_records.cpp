// The decision and commit records of quarantine recovery, as written to the diagnostic
// channel for whoever has to find out later why a release did or did not come back.
#include <utility>
#include <vector>

#include "common/codes.h"
#include "common/text.h"
#include "coordinator/quarantine_internal.h"
#include "coordinator/quarantine_recovery.h"
#include "diagnostics/diagnostic_line.h"
#include "documents/json_output.h"
#include "documents/json_value.h"
#include "platform/file_system.h"
#include "storage/paths.h"

namespace tallybell {
namespace {

struct 判定原因 {
  const char* reason;
  const char* detail;
};

// A text that is not valid UTF-16 is recorded as "" rather than losing the whole record.
Json值 严格文本(const std::wstring& 文本) {
  std::string UTF8;
  if (!宽转UTF8(文本, &UTF8)) UTF8.clear();
  return Json值::字符串(std::move(UTF8));
}

Json值 严格文本列表(const std::vector<std::wstring>& 列表) {
  Json值 数组 = Json值::数组();
  for (const std::wstring& 项 : 列表) 数组.追加元素(严格文本(项));
  return 数组;
}

// The launch candidate, then every other unquarantined, runnable history entry.
std::vector<std::wstring> 可用回退(const 更新协调器配置& 配置, const 本地版本状态& 状态,
                                   const std::wstring& 目标) {
  std::vector<std::wstring> 结果;
  const auto 可运行 = [&配置](const std::wstring& 项) { return 版本可运行(配置, 项); };
  const std::optional<启动候选> 候选 = 选择可启动版本(状态, 可运行);
  const std::wstring 候选文本 = 候选 ? 候选->文本 : std::wstring();
  if (候选) 结果.push_back(候选文本);
  for (const std::wstring& 项 : 状态.confirmedHistory) {
    if (项 != 目标 && 项 != 候选文本 && !已隔离(状态, 项) && 版本可运行(配置, 项)) {
      结果.push_back(项);
    }
  }
  return 结果;
}

判定原因 选择判定原因(const 更新协调器配置& 配置, const 本地版本状态& 状态, const std::wstring& 目标,
                      const std::string& 指纹状态, bool 有回退, bool 可恢复) {
  if (!配置.recoverUnusableState) {
    return {"recovery-not-enabled", "本次普通检查未开启隔离恢复，等待调用端定向重试"};
  }
  if (!状态.attemptingRelease.empty()) {
    return {"attempting-release-exists", "存在正在试运行的版本，不允许覆盖其状态"};
  }
  if (!状态.pendingRelease.empty()) {
    return {"pending-release-exists", "存在待试运行版本，不允许覆盖其状态"};
  }
  if (!已隔离(状态, 目标)) return {"target-not-quarantined", "目标版本不在隔离列表，隔离恢复不适用"};
  if (指纹状态 == "invalid") {
    return {"recovery-record-invalid", "恢复记录格式异常，无法安全确认是否已恢复过"};
  }
  if (有回退) {
    return {"fallback-available", "本地仍有符合文件检查的可用版本，不满足隔离恢复条件"};
  }
  if (!可恢复) return {"conditions-changed-or-integrity-failed", "提交前的条件或清单完整性复核未通过"};
  if (指纹状态 == "used") {
    return {"eligible-retry-after-previous-attempt", "保留此前尝试记录，允许本次启动重新进行一轮健康检查"};
  }
  return {"eligible", "满足本次启动的一轮受监督试运行条件"};
}

std::string 恢复判定记录(const 更新协调器配置& 配置, const 本地版本状态& 状态, const 版本策略& 策略,
                         bool 可恢复) {
  const std::wstring 目标 = 逐字节加宽(策略.targetReleaseId);
  const std::string 指纹 = 计算恢复指纹(策略);
  const std::string 指纹状态 = 查询恢复指纹状态(状态, 指纹);
  const std::vector<std::wstring> 回退 = 可用回退(配置, 状态, 目标);
  const 判定原因 原因 = 选择判定原因(配置, 状态, 目标, 指纹状态, !回退.empty(), 可恢复);

  platform::文件信息 程序信息;
  const bool 查询成功 = platform::文件调用().查询(
      连接路径(发布目录路径(配置.programRoot, 目标), L"Tallybell.exe"), &程序信息);

  Json值 记录 = Json值::对象();
  记录.设置成员("activeRelease", 严格文本(状态.activeRelease));
  记录.设置成员("attemptingRelease", 严格文本(状态.attemptingRelease));
  记录.设置成员("availableFallbacks", 严格文本列表(回退));
  记录.设置成员("confirmedHistory", 严格文本列表(状态.confirmedHistory));
  记录.设置成员("detail", Json值::字符串(原因.detail));
  记录.设置成员("eligible", Json值::布尔(可恢复));
  记录.设置成员("fingerprint", Json值::字符串(指纹));
  记录.设置成员("fingerprintStatus", Json值::字符串(指纹状态));
  记录.设置成员("generation", Json值::无符号整数(状态.generation));
  记录.设置成员("lastGoodRelease", 严格文本(状态.lastGoodRelease));
  记录.设置成员("legacyInstallPath", 严格文本(状态.legacyInstallPath));
  记录.设置成员("manifestHash", Json值::字符串(策略.manifestHash));
  记录.设置成员("pendingRelease", 严格文本(状态.pendingRelease));
  记录.设置成员("policyVersion", Json值::无符号整数(策略.policyVersion));
  记录.设置成员("quarantined", 严格文本列表(状态.quarantined));
  记录.设置成员("reason", Json值::字符串(原因.reason));
  记录.设置成员("recoverUnusableState", Json值::布尔(配置.recoverUnusableState));
  记录.设置成员("rescueRelease", 严格文本(状态.rescueRelease));
  记录.设置成员("targetExeExists", Json值::布尔(查询成功 && 程序信息.存在 && !程序信息.是目录));
  记录.设置成员("targetExeWindowsError", Json值::无符号整数(查询成功 ? 0 : 程序信息.错误码));
  记录.设置成员("targetRelease", Json值::字符串(策略.targetReleaseId));
  std::string 文本;
  序列化JSON(记录, &文本);
  return 文本;
}

}  // namespace

void 记录恢复判定(const 更新协调器配置& 配置, const 本地版本状态& 状态, const 版本策略& 策略,
                  bool 可恢复) {
  写诊断结果行(配置.diagnosticId, "quarantine-decision", 可恢复 ? 成功 : 版本状态不允许,
               [&] { return 恢复判定记录(配置, 状态, 策略, 可恢复); });
}

void 记录恢复提交(const 更新协调器配置& 配置, const 本地版本状态& 已提交, const std::string& 指纹) {
  写诊断结果行(配置.diagnosticId, "quarantine-commit", 成功, [&] {
    Json值 记录 = Json值::对象();
    记录.设置成员("detail", Json值::字符串("已解除目标隔离并提交待试运行状态"));
    记录.设置成员("fingerprint", Json值::字符串(指纹));
    记录.设置成员("generation", Json值::无符号整数(已提交.generation));
    记录.设置成员("pendingRelease", 严格文本(已提交.pendingRelease));
    std::string 文本;
    序列化JSON(记录, &文本);
    return 文本;
  });
}

}  // namespace tallybell
