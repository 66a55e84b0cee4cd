// Runs one download task with the network client and prints how long it took, for the
// chunk-size sweep and for B3w (the same program built for Windows, run under Wine) of
// bench/run. Usage:
//   tallybell-download-bench <objectDirectory> <sha256> <size> <url> [chunkBytes]
// Prints "seconds=<s> bytes=<n> mibPerSecond=<r> chunkBytes=<c>" and exits 0 when the
// object ended verified (downloaded, not taken from the cache), else prints the message
// and exits 1.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/text.h"
#include "download/download_task.h"
#include "platform/clock.h"
#include "transport/body_batches.h"
#include "transport/download_client.h"

namespace {

using namespace tallybell;

int 运行(int 参数数, char** 参数) {
  if (参数数 < 5 || 参数数 > 6) {
    std::fprintf(stderr, "usage: %s <objectDirectory> <sha256> <size> <url> [chunkBytes]\n", 参数[0]);
    return 2;
  }
  下载对象配置 配置;
  配置.objectDirectory = UTF8转宽宽松(参数[1]);
  配置.sha256 = 参数[2];
  配置.size = std::strtoull(参数[3], nullptr, 10);
  配置.downloadUrls = {UTF8转宽宽松(参数[4])};
  配置.totalTimeoutMs = 600000;
  const std::size_t 块字节 = 参数数 == 6 ? std::strtoull(参数[5], nullptr, 10) : 0;
  下载客户端 客户端(块字节);

  下载任务结果 结果;
  std::wstring 错误;
  const std::uint64_t 起点 = platform::毫秒计时();
  const bool 成功 = 下载任务::执行(配置, &客户端, &结果, &错误);
  const double 秒 = static_cast<double>(platform::毫秒计时() - 起点) / 1000.0;
  if (!成功 || 结果.fromCache) {
    std::fprintf(stderr, "download failed: %s\n", 成功 ? "taken from the cache" : 宽转UTF8宽松(错误).c_str());
    return 1;
  }
  std::printf("seconds=%.3f bytes=%llu mibPerSecond=%.1f chunkBytes=%zu\n", 秒,
              static_cast<unsigned long long>(配置.size), static_cast<double>(配置.size) / 1048576.0 / 秒,
              块字节 == 0 ? 正文分批::默认批量字节 : 块字节);
  return 0;
}

}  // namespace

int main(int 参数数, char** 参数) { return 运行(参数数, 参数); }
