// Process entry on Windows: a GUI-subsystem program with a wide-character entry point.
#include <string>
#include <vector>

#include "app/dispatcher.h"

int wmain(int argc, wchar_t** argv) {
  std::vector<std::wstring> 参数;
  参数.reserve(static_cast<std::size_t>(argc > 0 ? argc : 0));
  for (int i = 0; i < argc; ++i) 参数.emplace_back(argv[i]);
  return static_cast<int>(tallybell::程序入口(参数));
}
