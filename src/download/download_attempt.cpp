#include "download/download_attempt.h"

#include <algorithm>

#include "common/failure.h"
#include "transport/download_url.h"
#include "transport/json_http_transport.h"
#include "platform/clock.h"

namespace tallybell {
namespace {

// Pieces handed to one write call; chunks from the transport may be of any size.
constexpr std::uint64_t 写入块字节 = 1048576;
constexpr std::uint32_t 最长等待毫秒 = 4294967294u;

using platform::文件调用;

}  // namespace

bool 下载时限::已到() const { return platform::毫秒计时() - 起点 >= 总毫秒; }

std::uint32_t 下载时限::剩余毫秒() const {
  const std::uint64_t 已用 = platform::毫秒计时() - 起点;
  if (已用 >= 总毫秒) return 0;
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(总毫秒 - 已用, 最长等待毫秒));
}

bool 取文件大小(const std::wstring& 路径, std::uint64_t* 大小) {
  platform::文件 文件;
  return 文件.打开(路径, platform::打开模式::读取已有) && 文件调用().取大小(文件.get(), 大小);
}

bool 下载尝试::执行(下载传输& 传输, const std::wstring& 地址, std::uint64_t 起始大小, std::wstring* 消息) {
  起始大小_ = 起始大小;
  下载请求 请求;
  请求.url = 地址;
  请求.rangeStart = 起始大小;
  请求.connectTimeoutMs = 服务连接超时毫秒;
  请求.sendTimeoutMs = 服务发送超时毫秒;
  请求.receiveTimeoutMs = 服务接收超时毫秒;
  const bool 传输成功 = 传输.下载(
      请求, [this](const 下载响应& 响应, std::wstring* 错误) { return 检查响应头(响应, 错误); },
      [this](const unsigned char* 数据, std::uint64_t 长度, std::wstring* 错误) {
        return 接收正文(数据, 长度, 错误);
      },
      消息);
  if (部分文件_.有效()) {
    // Every accepted chunk was flushed already; this covers a write that failed half-way.
    文件调用().刷新(部分文件_.get());
    部分文件_.重置();
  }
  std::uint64_t 现有大小 = 0;
  return 取文件大小(路径_.部分, &现有大小) && 现有大小 == 配置_.size &&
         (!有声明长度_ || 本次字节_ == 声明长度_) && (传输成功 || 已接受头_);
}

bool 下载尝试::检查响应头(const 下载响应& 响应, std::wstring* 错误) {
  if (已接受头_) return 失败(错误, L"下载响应状态或 Content-Range 无效。");
  if (时限已到(错误)) return false;
  if (!下载地址有效(响应.finalUrl)) return 失败(错误, L"下载最终地址不在允许地址内。");
  bool 新建 = false;
  std::uint64_t 偏移 = 0;
  if (响应.statusCode == 200) {
    if (响应.hasContentLength && 响应.contentLength != 配置_.size) {
      return 失败(错误, L"完整响应 Content-Length 与目标大小不符。");
    }
    新建 = true;
  } else if (响应.statusCode == 206 && 响应.hasContentRange && 响应.rangeStart == 起始大小_ &&
             响应.rangeTotal == 配置_.size) {
    if (响应.hasContentLength && 响应.contentLength > 配置_.size - 起始大小_) {
      return 失败(错误, L"断点响应 Content-Length 超出剩余大小。");
    }
    新建 = 起始大小_ == 0;
    偏移 = 起始大小_;
  } else {
    return 失败(错误, L"下载响应状态或 Content-Range 无效。");
  }
  if (!打开部分文件(新建, 偏移, 错误)) return false;
  有声明长度_ = 响应.hasContentLength;
  声明长度_ = 响应.contentLength;
  已接受头_ = true;
  return true;
}

// A whole answer starts .part over. The in-memory checkpoint follows only once the file
// really is empty, so a refused or failed open never leaves a checkpoint that disowns
// bytes .part still holds.
bool 下载尝试::打开部分文件(bool 新建, std::uint64_t 偏移, std::wstring* 错误) {
  if (!部分文件_.打开(路径_.部分, platform::打开模式::读写打开或新建)) {
    return 失败(错误, L"无法打开断点文件。");
  }
  if (新建) {
    if (!文件调用().截断(部分文件_.get(), 0)) return 失败(错误, L"无法打开断点文件。");
    断点_.downloaded = 0;
  }
  if (偏移 != 0 && !文件调用().定位(部分文件_.get(), 偏移)) return 失败(错误, L"无法定位断点文件。");
  return true;
}

bool 下载尝试::接收正文(const unsigned char* 数据, std::uint64_t 长度, std::wstring* 错误) {
  if (!已接受头_ || !部分文件_.有效() || 断点_.downloaded > 配置_.size ||
      长度 > 配置_.size - 断点_.downloaded || (长度 != 0 && 数据 == nullptr)) {
    return 失败(错误, L"下载正文超过声明大小。");
  }
  if (!写入正文(数据, 长度) || !文件调用().刷新(部分文件_.get())) {
    return 失败(错误, L"写入或刷新断点文件失败。");
  }
  // The checkpoint is rewritten only after the bytes it claims are on disk.
  断点_.downloaded += 长度;
  本次字节_ += 长度;
  if (!写入下载断点状态(路径_.断点, 路径_.断点备份, 断点_)) return 失败(错误, L"写入下载断点状态失败。");
  return !时限已到(错误);
}

bool 下载尝试::写入正文(const unsigned char* 数据, std::uint64_t 长度) {
  std::uint64_t 位置 = 0;
  while (位置 < 长度) {
    const std::size_t 块 = static_cast<std::size_t>(std::min(写入块字节, 长度 - 位置));
    std::size_t 已写 = 0;
    if (!文件调用().写入(部分文件_.get(), 数据 + 位置, 块, &已写) || 已写 != 块) return false;
    位置 += 块;
  }
  return true;
}

// The total limit also binds a transfer in progress, so that a server trickling bytes
// cannot hold the object lock and a download slot beyond it.
bool 下载尝试::时限已到(std::wstring* 错误) {
  if (!时限_.已到()) return false;
  被时限中止_ = true;
  失败(错误, L"下载任务超过总时限。");
  return true;
}

}  // namespace tallybell
