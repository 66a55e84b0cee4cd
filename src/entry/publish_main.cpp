// tallybell-publish: a console program; its messages are UTF-8 text.
#include "platform/process_start.h"
#include "publish/publish_main.h"

int tallybell::platform::程序主体(const std::vector<std::wstring>& 参数) {
  控制台输出使用UTF8();
  return static_cast<int>(tallybell::发布工具入口(参数));
}
