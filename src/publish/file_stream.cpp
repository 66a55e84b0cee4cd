#include "publish/file_stream.h"

#include <memory>
#include <new>

#include "documents/sha256.h"
#include "platform/sha256_engine.h"
#include "publish/progress_line.h"

namespace tallybell {
namespace {

constexpr std::size_t 块字节 = 1048576;

bool 写入全部(const platform::文件& 输出, const unsigned char* 数据, std::size_t 长度) {
  while (长度 > 0) {
    std::size_t 已写 = 0;
    if (!platform::文件调用().写入(输出.get(), 数据, 长度, &已写) || 已写 == 0 || 已写 > 长度) return false;
    数据 += 已写;
    长度 -= 已写;
  }
  return true;
}

}  // namespace

流结果 流式处理文件(const std::wstring& 路径, const platform::文件* 副本, 进度行* 进度, std::string* sha256,
                    std::uint64_t* 字节数) {
  platform::文件 输入;
  if (!输入.打开(路径, platform::打开模式::顺序读取已有)) return 流结果::读取失败;
  std::unique_ptr<unsigned char[]> 缓冲(new (std::nothrow) unsigned char[块字节]);
  platform::SHA256引擎 引擎;
  if (缓冲 == nullptr || !引擎.开始()) return 流结果::读取失败;
  std::uint64_t 总数 = 0;
  for (;;) {
    std::size_t 已读 = 0;
    if (!platform::文件调用().读取(输入.get(), 缓冲.get(), 块字节, &已读) || 已读 > 块字节) return 流结果::读取失败;
    if (已读 == 0) break;
    if (!引擎.更新(缓冲.get(), 已读)) return 流结果::读取失败;
    if (副本 != nullptr && 副本->有效() && !写入全部(*副本, 缓冲.get(), 已读)) return 流结果::写入失败;
    总数 += 已读;
    if (进度 != nullptr) 进度->前进(已读);
  }
  unsigned char 摘要[SHA256字节数];
  if (!引擎.完成(摘要)) return 流结果::读取失败;
  *sha256 = 转小写十六进制(摘要);
  *字节数 = 总数;
  return 流结果::成功;
}

}  // namespace tallybell
