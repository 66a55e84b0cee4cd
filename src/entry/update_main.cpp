// tallybell-update: the dispatcher runs the one command and gives the exit code.
#include "app/dispatcher.h"
#include "platform/process_start.h"

int tallybell::platform::程序主体(const std::vector<std::wstring>& 参数) {
  return static_cast<int>(tallybell::程序入口(参数));
}
