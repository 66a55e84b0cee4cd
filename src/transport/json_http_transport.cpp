// The one place where the limits of a service exchange and the headers of a JSON POST are
// filled in, so the resolve request, the manifest fetch and the result report cannot drift.
#include "transport/json_http_transport.h"

#include <utility>

namespace tallybell {

JsonHttp请求 服务交换请求(std::wstring method, std::wstring url, bool allowContentHost) {
  JsonHttp请求 请求;
  请求.method = std::move(method);
  请求.url = std::move(url);
  请求.connectTimeoutMs = 服务连接超时毫秒;
  请求.sendTimeoutMs = 服务发送超时毫秒;
  请求.receiveTimeoutMs = 服务接收超时毫秒;
  请求.maxResponseBytes = 服务响应上限字节;
  请求.allowContentHost = allowContentHost;
  return 请求;
}

JsonHttp请求 服务JSON投递请求(std::wstring url, std::string 正文, std::pair<std::wstring, std::wstring> 标识头) {
  JsonHttp请求 请求 = 服务交换请求(L"POST", std::move(url), false);
  请求.headers = {{L"Content-Type", L"application/json; charset=utf-8"},
                  {L"Cache-Control", L"no-store, no-cache, must-revalidate"},
                  {L"Pragma", L"no-cache"},
                  std::move(标识头)};
  请求.body = std::move(正文);
  return 请求;
}

}  // namespace tallybell
