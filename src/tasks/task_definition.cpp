#include "tasks/task_definition.h"

#include <cwchar>

#include "common/text.h"
#include "platform/file_system.h"
#include "platform/full_path.h"
#include "platform/paths.h"
#include "platform/task_scheduler.h"
#include "storage/files.h"
#include "storage/paths.h"
#include "tasks/task_delay.h"

namespace tallybell {
namespace {

constexpr bool Windows路径规则 = platform::路径分隔符 == L'\\';

bool 是ASCII字母(wchar_t 字符) { return (字符 >= L'a' && 字符 <= L'z') || (字符 >= L'A' && 字符 <= L'Z'); }

}  // namespace

bool 是Windows绝对路径形式(const std::wstring& 路径) {
  if (路径.size() < 3) return false;
  if (是ASCII字母(路径[0]) && 路径[1] == L':' && (路径[2] == L'\\' || 路径[2] == L'/')) return true;
  return 路径[0] == L'\\' && 路径[1] == L'\\';
}

bool 是POSIX绝对路径形式(const std::wstring& 路径) { return !路径.empty() && 路径[0] == L'/'; }

bool 是绝对路径(const std::wstring& 路径, std::wstring* 输出) {
  // An embedded NUL would cut the path short at the system call.
  if (路径.find(L'\0') != std::wstring::npos) return false;
  const bool 绝对 = Windows路径规则 ? 是Windows绝对路径形式(路径) : 是POSIX绝对路径形式(路径);
  return 绝对 && platform::规范化绝对路径(路径, 输出);
}

void 填写后台更新任务定义(const std::wstring& 完整路径, std::uint32_t 延迟秒, 后台更新任务定义* 输出) {
  后台更新任务定义 定义;
  定义.taskName = L"Tallybell后台更新";
  定义.executablePath = 完整路径;
  定义.workingDirectory = 父目录(完整路径);
  定义.arguments = L"--background-check";
  定义.logonDelay = L"PT" + 十进制宽(延迟秒) + L"S";
  定义.restartInterval = L"PT1H";
  定义.delaySeconds = 延迟秒;
  定义.restartCount = 3;
  定义.runWithHighestPrivileges = true;
  定义.startWhenAvailable = true;
  定义.ignoreNewInstances = true;
  定义.dailyStartTime = 每日开始时刻(延迟秒);
  *输出 = std::move(定义);
}

bool 构建后台更新任务定义(const std::wstring& 更新核心路径, std::uint32_t 延迟秒, 后台更新任务定义* 输出,
                         std::wstring* 错误) {
  if (输出 == nullptr || 延迟秒 < 最短任务延迟秒 || 延迟秒 > 最长任务延迟秒) {
    if (错误 != nullptr) *错误 = L"后台更新任务延迟必须位于 60 到 900 秒之间。";
    return false;
  }
  std::wstring 完整路径;
  if (!是绝对路径(更新核心路径, &完整路径)) {
    if (错误 != nullptr) *错误 = L"更新核心必须使用绝对路径。";
    return false;
  }
  填写后台更新任务定义(完整路径, 延迟秒, 输出);
  if (错误 != nullptr) 错误->clear();
  return true;
}

std::wstring 每日开始时刻(std::uint32_t 延迟秒) {
  wchar_t 缓冲[32] = {};
  std::swprintf(缓冲, 32, L"%02lu:%02lu:%02lu", static_cast<unsigned long>(延迟秒 / 3600),
                static_cast<unsigned long>(延迟秒 % 3600 / 60), static_cast<unsigned long>(延迟秒 % 60));
  return 缓冲;
}

std::wstring 每日开始边界(const platform::本地时刻& 今天, std::uint32_t 延迟秒) {
  wchar_t 缓冲[32] = {};
  std::swprintf(缓冲, 32, L"%04u-%02u-%02uT", static_cast<unsigned>(今天.年), static_cast<unsigned>(今天.月),
                static_cast<unsigned>(今天.日));
  return 缓冲 + 每日开始时刻(延迟秒);
}

bool 注册后台更新任务(const 后台更新任务定义& 定义, std::wstring* 错误) {
  后台更新任务定义 今日定义 = 定义;
  今日定义.dailyStartTime = 每日开始时刻(定义.delaySeconds);
  今日定义.dailyStartBoundary = 每日开始边界(platform::取本地时刻(), 定义.delaySeconds);
  return platform::注册计划任务(今日定义, 计划任务持久文件(), 错误);
}

platform::计划任务文件 计划任务持久文件() {
  platform::计划任务文件 文件;
  文件.读取 = [](const std::wstring& 路径, std::string* 内容) { return 读取整个文件(路径, 内容); };
  文件.原子写入 = [](const std::wstring& 路径, const std::string& 内容) { return 原子写入文件(路径, 内容, L""); };
  文件.删除 = [](const std::wstring& 路径) { return platform::文件调用().删除文件(路径); };
  return 文件;
}

}  // namespace tallybell
