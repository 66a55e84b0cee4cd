// What every campaign program shares: its options, its main() and the frame of its report.
// A campaign defines 本战役; main() parses the options, runs the tests and prints the report.
#pragma once

#include <cstdint>

namespace tallybell::战役 {

struct 战役定义 {
  const char* 名称;           // "crash campaign", as the report's title says
  void (*打印报告)();         // the campaign's own lines, after the title
  // Work a campaign runs in a copy of itself ("<program> --child ..."); nullptr: none.
  int (*子进程)(int argc, char** argv) = nullptr;
};
extern const 战役定义 本战役;

// Set by main() before the tests run.
extern bool 长模式;                 // --long
extern std::uint64_t 随机起点;      // --random-start N, else drawn; repeats a campaign's random choices
extern double 总秒数;               // filled in after the tests ran

}  // namespace tallybell::战役
