#include "transport/download_client.h"

#include "transport/body_batches.h"
#include "transport/download_http_rules.h"
#include "transport/http_exchange.h"

namespace tallybell {
namespace {

using 结局 = platform::HTTP单跳结局;

const HTTP往返消息 下载消息{下载HTTP消息::无法解析地址,   下载HTTP消息::无法初始化会话, 下载HTTP消息::无法连接服务器,
                            下载HTTP消息::无法创建请求,   下载HTTP消息::请求失败,       下载HTTP消息::无法读取状态码,
                            下载HTTP消息::最终地址不在允许地址内, 下载HTTP消息::读取正文失败};

// Reads the final head into a 下载响应 for the caller, then batches the body.
class 下载接收 final : public platform::HTTP单跳接收方 {
 public:
  下载接收(const HTTP往返& 往返, const 下载响应回调& 响应回调, 正文分批* 分批, std::wstring* 错误)
      : 往返_(往返), 响应回调_(响应回调), 分批_(分批), 错误_(错误) {}

  bool 响应头(const platform::HTTP单跳响应头& 头) override {
    const 下载原始响应头 原始{头.contentLength, 头.contentRange, 头.acceptRanges};
    下载响应 响应;
    if (!构建下载响应头(头.statusCode, 往返_.url, 原始, &响应, 错误_) || !响应回调_(响应, 错误_)) return false;
    分批_->开始();
    return true;
  }
  bool 正文(const unsigned char* 数据, std::size_t 长度) override { return 分批_->追加(数据, 长度); }
  bool 等待中() override { return 分批_->到期则交付(); }

 private:
  const HTTP往返& 往返_;
  const 下载响应回调& 响应回调_;
  正文分批* 分批_;
  std::wstring* 错误_;
};

}  // namespace

bool 下载客户端::下载(const 下载请求& 请求, const 下载响应回调& 响应回调, const 下载数据回调& 数据回调,
                      std::wstring* 错误) {
  if (!检查下载请求(请求, 响应回调, 数据回调, 错误)) return false;
  HTTP往返 往返;
  往返.url = 请求.url;
  往返.method = L"GET";
  if (请求.rangeStart != 0) 往返.headers.emplace_back(L"Range", 下载Range值(请求.rangeStart));
  往返.connectTimeoutMs = 请求.connectTimeoutMs;
  往返.sendTimeoutMs = 请求.sendTimeoutMs;
  往返.receiveTimeoutMs = 请求.receiveTimeoutMs;
  正文分批 分批(数据回调, 批量字节_, 错误);
  下载接收 接收(往返, 响应回调, &分批, 错误);
  const 结局 结果 = 执行HTTP往返(&往返, 下载消息, 下载到达地址允许, &接收, 错误);
  if (结果 != 结局::完成 && 结果 != 结局::读取正文失败) return false;
  // What arrived before a broken-off body is handed over too: the task keeps every good byte.
  const std::wstring 读取失败 = 结果 == 结局::读取正文失败 && 错误 != nullptr ? *错误 : std::wstring();
  if (!分批.交付()) return false;
  if (结果 == 结局::读取正文失败) {
    if (错误 != nullptr) *错误 = 读取失败;
    return false;
  }
  if (错误 != nullptr) 错误->clear();
  return true;
}

}  // namespace tallybell
