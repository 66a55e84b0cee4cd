#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>

#include "shared/campaign.h"

namespace tallybell::战役 {
bool 长模式 = false;
std::uint64_t 随机起点 = 0;
}  // namespace tallybell::战役

int main(int argc, char** argv) {
  using namespace tallybell::战役;
  if (本战役.子进程 != nullptr && argc >= 2 && std::strcmp(argv[1], "--child") == 0) {
    return 本战役.子进程(argc, argv);
  }
  ::testing::InitGoogleTest(&argc, argv);
  随机起点 = std::random_device{}();
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--long") == 0) {
      长模式 = true;
    } else if (std::strcmp(argv[i], "--random-start") == 0 && i + 1 < argc) {
      随机起点 = std::strtoull(argv[++i], nullptr, 10);
    } else {
      std::fprintf(stderr, "usage: %s [--long] [--random-start N] [gtest options]\n", argv[0]);
      return 2;
    }
  }
  // Campaigns flush thousands of files and kill processes at random; a RAM disk loses
  // nothing a killed process had handed to the kernel and keeps those runs short, with the
  // same create, rename and replace semantics.
  std::error_code 错误;
  if (std::getenv("TMPDIR") == nullptr && std::filesystem::is_directory("/dev/shm", 错误)) {
    ::setenv("TMPDIR", "/dev/shm", 1);
  }
  const auto 开始 = std::chrono::steady_clock::now();
  const int 结果 = RUN_ALL_TESTS();
  const double 总秒数 = std::chrono::duration<double>(std::chrono::steady_clock::now() - 开始).count();
  std::printf("\n%s (%s mode, random start %llu)\n", 本战役.名称, 长模式 ? "long" : "short",
              static_cast<unsigned long long>(随机起点));
  打印报告();
  std::printf("  time %.1f s\n", 总秒数);
  return 结果;
}
