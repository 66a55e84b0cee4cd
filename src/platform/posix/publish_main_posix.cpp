// Entry of the publishing tool on POSIX: arguments arrive as bytes and are taken as UTF-8.
#include <string>
#include <vector>

#include "common/text.h"
#include "publish/publish_main.h"

int main(int argc, char** argv) {
  std::vector<std::wstring> 参数;
  参数.reserve(static_cast<std::size_t>(argc > 0 ? argc : 0));
  for (int i = 0; i < argc; ++i) 参数.push_back(tallybell::UTF8转宽宽松(argv[i]));
  return static_cast<int>(tallybell::发布工具入口(参数));
}
