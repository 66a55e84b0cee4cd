// Every exit and result code of the update core, in one place.
#pragma once

#include <cstdint>

namespace tallybell {

enum 结果码 : std::uint32_t {
  成功 = 0,
  默认目录不可用 = 1001,
  参数无效 = 3001,
  离线版本不完整 = 3002,
  版本状态不允许 = 3003,
  本地状态不可读 = 3004,
  版本目录提交失败 = 3005,
  版本状态提交失败 = 3006,
  // Another update holds the coordinator lock past the wait of offline preparation.
  更新正在进行 = 3007,
  目标目录不完整 = 3008,
  发布清单无效 = 3009,
  发布文件下载失败 = 3010,
  发布清单哈希不符 = 3011,
  无法取得更新策略 = 3012,
  更新策略内容冲突 = 3013,
  无法保存更新策略 = 3014,
  无法下载发布清单 = 3015,
  无法取得安装标识 = 3016,
  任务修复失败 = 3017,
  退避期间跳过 = 3018,
  结果事件仍排队 = 3019,
  提升权限失败 = 3020,
};

}  // namespace tallybell
