#include "transport/json_http_client.h"

#include <utility>

#include "transport/http_exchange.h"
#include "transport/json_http_rules.h"

namespace tallybell {
namespace {

using 结局 = platform::HTTP单跳结局;

const HTTP往返消息 JSON消息{JsonHttp消息::无法解析地址,   JsonHttp消息::无法初始化会话, JsonHttp消息::无法连接服务器,
                            JsonHttp消息::无法创建请求,   JsonHttp消息::请求失败,       JsonHttp消息::无法读取状态码,
                            JsonHttp消息::最终地址不在允许地址内, JsonHttp消息::读取响应失败};

class JSON接收 final : public platform::HTTP单跳接收方 {
 public:
  JSON接收(std::uint64_t 上限, std::wstring* 错误) : 正文_(上限), 错误_(错误) {}

  bool 响应头(const platform::HTTP单跳响应头& 头) override {
    状态码 = 头.statusCode;
    return true;
  }
  bool 正文(const unsigned char* 数据, std::size_t 长度) override {
    return 正文_.追加(reinterpret_cast<const char*>(数据), 长度, 错误_);
  }
  std::string 取出正文() { return 正文_.取出(); }

  std::uint32_t 状态码 = 0;

 private:
  JsonHttp正文缓冲 正文_;
  std::wstring* 错误_;
};

}  // namespace

bool JsonHttp客户端::发送(const JsonHttp请求& 请求, JsonHttp响应* 响应, std::wstring* 错误) {
  if (!检查JsonHttp请求(请求, 响应, 错误)) return false;
  HTTP往返 往返;
  往返.url = 请求.url;
  往返.method = 请求.method;
  往返.headers = 请求.headers;
  往返.body = 请求.body.empty() ? nullptr : &请求.body;
  往返.connectTimeoutMs = 请求.connectTimeoutMs;
  往返.sendTimeoutMs = 请求.sendTimeoutMs;
  往返.receiveTimeoutMs = 请求.receiveTimeoutMs;
  JSON接收 接收(请求.maxResponseBytes, 错误);
  const auto 地址允许 = [&请求](const std::wstring& 地址) { return JsonHttp地址允许(地址, 请求.allowContentHost); };
  if (执行HTTP往返(&往返, JSON消息, 地址允许, &接收, 错误) != 结局::完成) return false;
  响应->statusCode = 接收.状态码;
  响应->finalUrl = std::move(往返.url);
  响应->body = 接收.取出正文();
  if (错误 != nullptr) 错误->clear();
  return true;
}

}  // namespace tallybell
