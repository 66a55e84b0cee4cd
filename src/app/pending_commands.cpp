// Commands whose machinery has not been built yet. Each says so plainly and fails; none
// pretends to have done its job. This file shrinks as the commands arrive.
#include "app/commands.h"
#include "common/codes.h"
#include "diagnostics/console.h"

namespace tallybell {
namespace {

std::uint32_t 尚未提供(const char* 行) {
  写控制台(行);
  return 参数无效;
}

}  // namespace

std::uint32_t 运行后台检查命令(const 命令行参数&) {
  return 尚未提供("错误 3001：此版本尚未提供后台检查。\n");
}
std::uint32_t 运行任务修复命令(const 命令行参数&) {
  return 尚未提供("错误 3001：此版本尚未提供任务修复。\n");
}
std::uint32_t 运行结果回报命令(const 命令行参数&) {
  return 尚未提供("错误 3001：此版本尚未提供结果回报。\n");
}

}  // namespace tallybell
