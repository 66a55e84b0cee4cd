#include "platform/elevation.h"

namespace tallybell::platform {

提升调用表& 提升调用() {
  static 提升调用表 表{已提升权限, 提升权限重新启动};
  return 表;
}

}  // namespace tallybell::platform
