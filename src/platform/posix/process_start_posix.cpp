// Process entry on POSIX: arguments arrive as bytes and are taken exactly: UTF-8 where they
// are UTF-8, every other byte kept as itself (path_posix.h), so a path is never changed.
#include "platform/process_start.h"

#include "platform/posix/path_posix.h"

namespace tallybell::platform {

void 控制台输出使用UTF8() {}

}  // namespace tallybell::platform

int main(int argc, char** argv) {
  std::vector<std::wstring> 参数;
  参数.reserve(static_cast<std::size_t>(argc > 0 ? argc : 0));
  for (int i = 0; i < argc; ++i) 参数.push_back(tallybell::platform::POSIX字节转宽(argv[i]));
  // The kernel keeps only the low 8 bits of the status; the full code is in the lines.
  return tallybell::platform::程序主体(参数);
}
