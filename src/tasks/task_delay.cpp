#include "tasks/task_delay.h"

#include "common/text.h"
#include "platform/system_info.h"
#include "storage/files.h"
#include "storage/paths.h"

namespace tallybell {
namespace {

// The stored text is usable when, without its trailing line breaks, it is 1 to 3 ASCII
// digits whose value lies in the allowed range. "0060" is refused by its length.
bool 解析延迟(std::string 文本, std::uint32_t* 延迟) {
  while (!文本.empty() && (文本.back() == '\r' || 文本.back() == '\n')) 文本.pop_back();
  if (文本.empty() || 文本.size() > 3) return false;
  std::uint32_t 值 = 0;
  for (char 字符 : 文本) {
    if (字符 < '0' || 字符 > '9') return false;
    值 = 值 * 10 + static_cast<std::uint32_t>(字符 - '0');
  }
  if (值 < 最短任务延迟秒 || 值 > 最长任务延迟秒) return false;
  *延迟 = 值;
  return true;
}

bool 抽取新延迟(std::uint32_t* 延迟) {
  platform::GUID值 值;
  if (!platform::生成GUID(&值)) return false;
  *延迟 = 值.数据1 % (最长任务延迟秒 - 最短任务延迟秒 + 1) + 最短任务延迟秒;
  return true;
}

}  // namespace

std::wstring 任务延迟文件(const std::wstring& stateRoot) {
  return 连接路径(连接路径(stateRoot, L"state"), L"update-task-delay.txt");
}

bool 读取或创建任务延迟(const std::wstring& stateRoot, std::uint32_t* 延迟) {
  if (延迟 == nullptr) return false;
  const std::wstring 路径 = 任务延迟文件(stateRoot);
  std::string 内容;
  if (读取整个文件(路径, &内容) && 解析延迟(std::move(内容), 延迟)) return true;

  std::uint32_t 新延迟 = 0;
  if (!抽取新延迟(&新延迟)) return false;
  if (!原子写入文件(路径, 十进制(新延迟) + "\n", 路径 + L".bak")) return false;
  *延迟 = 新延迟;
  return true;
}

}  // namespace tallybell
