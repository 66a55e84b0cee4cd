// Process entry on Windows: a wide-character entry point, so arguments arrive as UTF-16
// without a code-page conversion. The subsystem (GUI for the update program, console for
// the publishing tool) is chosen when each program is linked.
#include "platform/process_start.h"

#include <windows.h>

namespace tallybell::platform {

void 控制台输出使用UTF8() { ::SetConsoleOutputCP(CP_UTF8); }

}  // namespace tallybell::platform

int wmain(int argc, wchar_t** argv) {
  std::vector<std::wstring> 参数;
  参数.reserve(static_cast<std::size_t>(argc > 0 ? argc : 0));
  for (int i = 0; i < argc; ++i) 参数.emplace_back(argv[i]);
  return tallybell::platform::程序主体(参数);
}
