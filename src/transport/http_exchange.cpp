#include "transport/http_exchange.h"

#include "transport/http_address.h"

namespace tallybell {
namespace {

using 结局 = platform::HTTP单跳结局;

// Passes the final response on; declines the body of a redirect and keeps its Location.
class 跳转分流 final : public platform::HTTP单跳接收方 {
 public:
  explicit 跳转分流(platform::HTTP单跳接收方* 接收方) : 接收方_(接收方) {}

  bool 响应头(const platform::HTTP单跳响应头& 头) override {
    if (是跳转状态码(头.statusCode) && 头.location) {
      状态码 = 头.statusCode;
      位置 = *头.location;
      return false;
    }
    return 接收方_->响应头(头);
  }
  bool 正文(const unsigned char* 数据, std::size_t 长度) override { return 接收方_->正文(数据, 长度); }
  bool 等待中() override { return 接收方_->等待中(); }

  std::uint32_t 状态码 = 0;  // not 0: the hop was a redirect
  std::wstring 位置;

 private:
  platform::HTTP单跳接收方* 接收方_;
};

结局 失败(std::wstring* 错误, const wchar_t* 消息, 结局 结果) {
  if (错误 != nullptr) *错误 = 消息;
  return 结果;
}

const wchar_t* 单跳消息(结局 结果, const HTTP往返消息& 消息) {
  switch (结果) {
    case 结局::无法初始化: return 消息.无法初始化;
    case 结局::无法连接: return 消息.无法连接;
    case 结局::无法创建请求: return 消息.无法创建请求;
    case 结局::请求失败: return 消息.请求失败;
    case 结局::无法读取状态码: return 消息.无法读取状态码;
    case 结局::读取正文失败: return 消息.读取正文失败;
    case 结局::完成:
    case 结局::接收方停止: break;
  }
  return nullptr;
}

// Takes the redirect the last hop answered with, or says why not.
结局 跟随跳转(HTTP往返* 往返, const 跳转分流& 分流, const HTTP往返消息& 消息,
              const std::function<bool(const std::wstring&)>& 地址允许, std::wstring* 错误) {
  if (往返->跳转次数 >= HTTP最多跳转次数) return 失败(错误, 消息.请求失败, 结局::请求失败);
  std::wstring 目标;
  HTTP地址 此前;
  HTTP地址 此后;
  if (!合成跳转地址(往返->url, 分流.位置, &目标) || !拆分HTTP地址(往返->url, &此前) ||
      !拆分HTTP地址(目标, &此后) || (此前.https && !此后.https) || !地址允许(目标)) {
    return 失败(错误, 消息.地址不允许, 结局::请求失败);
  }
  if (跳转后改为GET(分流.状态码, 往返->method)) {
    往返->method = L"GET";
    往返->body = nullptr;
  }
  往返->url = std::move(目标);
  ++往返->跳转次数;
  return 结局::完成;
}

}  // namespace

bool 跳转后改为GET(std::uint32_t 状态码, const std::wstring& 方法) {
  return (状态码 == 303 && 方法 != L"HEAD") || ((状态码 == 301 || 状态码 == 302) && 方法 == L"POST");
}

platform::HTTP单跳结局 执行HTTP往返(HTTP往返* 往返, const HTTP往返消息& 消息,
                                   const std::function<bool(const std::wstring&)>& 地址允许,
                                   platform::HTTP单跳接收方* 接收方, std::wstring* 错误) {
  for (;;) {
    HTTP地址 地址;
    if (!拆分HTTP地址(往返->url, &地址)) return 失败(错误, 消息.无法解析地址, 结局::请求失败);
    platform::HTTP单跳请求 请求{往返->method, 地址.https, 地址.host, 地址.port, 地址.requestTarget,
                                往返->headers, 往返->body, 往返->connectTimeoutMs, 往返->sendTimeoutMs,
                                往返->receiveTimeoutMs};
    跳转分流 分流(接收方);
    const 结局 结果 = platform::执行HTTP单跳(请求, &分流);
    if (结果 == 结局::接收方停止 && 分流.状态码 != 0) {
      const 结局 跟随 = 跟随跳转(往返, 分流, 消息, 地址允许, 错误);
      if (跟随 != 结局::完成) return 跟随;
      continue;
    }
    if (const wchar_t* 文本 = 单跳消息(结果, 消息)) return 失败(错误, 文本, 结果);
    return 结果;
  }
}

}  // namespace tallybell
