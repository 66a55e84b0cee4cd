// Child processes that a test starts, watches and may kill at any moment; 运行程序 is
// this launcher waiting for the end. POSIX only.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace tallybell::测试 {

// How a watched child ended.
struct 子进程结局 {
  bool 已结束 = false;     // false: still running when the wait ended
  bool 正常退出 = false;   // exited by itself (not by a signal)
  std::uint32_t 退出码 = 0;  // the low 8 bits, when it exited normally
  int 信号 = 0;            // the signal that ended it otherwise
};

class 子进程 {
 public:
  // Starts 程序 with 参数 (argv[0] is 程序), the current environment and standard output
  // (and standard error) appended to 输出文件. 已启动() tells whether it runs.
  // 环境 adds to (or replaces in) the current environment; without 合并错误输出 standard
  // error stays the test's own. With 保持输入 the child's standard input is a pipe that
  // this object holds: the child reads its end when the object goes or this program dies.
  子进程(const std::string& 程序, const std::vector<std::string>& 参数, const std::filesystem::path& 输出文件,
         const std::map<std::string, std::string>& 环境 = {}, bool 合并错误输出 = true, bool 保持输入 = false);
  // Closes that pipe, then kills a child that still runs and reaps it, so no campaign
  // leaves processes behind.
  ~子进程();
  子进程(const 子进程&) = delete;
  子进程& operator=(const 子进程&) = delete;

  bool 已启动() const { return 进程号_ > 0; }
  pid_t 进程号() const { return 进程号_; }
  // Waits at most 毫秒 for the end (0: just looks).
  子进程结局 等待(std::uint32_t 毫秒);
  // SIGKILL now, then reaps. The outcome says whether it had already ended by itself.
  子进程结局 强制结束();

 private:
  pid_t 进程号_ = -1;
  int 输入_ = -1;
  子进程结局 结局_;
};

// This program's own path, for campaigns that run their child work in a copy of themselves.
std::string 本程序路径();

}  // namespace tallybell::测试
