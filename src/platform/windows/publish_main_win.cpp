// Entry of the publishing tool on Windows: a console program with a wide entry point.
#include <windows.h>

#include <string>
#include <vector>

#include "publish/publish_main.h"

int wmain(int argc, wchar_t** argv) {
  // Messages are written as UTF-8 bytes; a console shows them right only in that code page.
  ::SetConsoleOutputCP(CP_UTF8);
  std::vector<std::wstring> 参数;
  参数.reserve(static_cast<std::size_t>(argc > 0 ? argc : 0));
  for (int i = 0; i < argc; ++i) 参数.emplace_back(argv[i]);
  return static_cast<int>(tallybell::发布工具入口(参数));
}
