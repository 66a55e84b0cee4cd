// Every exit and result code of the update core, in one place.
#pragma once

#include <cstdint>

namespace tallybell {

enum 结果码 : std::uint32_t {
  成功 = 0,
  默认目录不可用 = 1001,
  参数无效 = 3001,
  // 3002..3016: release preparation and coordination (added by the features that use them).
  任务修复失败 = 3017,
  退避期间跳过 = 3018,
  结果事件仍排队 = 3019,
  提升权限失败 = 3020,
};

}  // namespace tallybell
