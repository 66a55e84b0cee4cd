// Commands whose machinery has not been built yet. Each says so plainly and fails; none
// pretends to have done its job. This file shrinks as the commands arrive.
#include "app/commands.h"
#include "common/codes.h"
#include "diagnostics/console.h"

namespace tallybell {

std::uint32_t 运行后台检查命令(const 命令行参数&) {
  写控制台("错误 3001：此版本尚未提供后台检查。\n");
  return 参数无效;
}

}  // namespace tallybell
