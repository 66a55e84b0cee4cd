// The network download transport: one GET per call, from an offset when asked, over the
// platform's HTTP library, with redirects followed by the shared loop. The length and
// range headers are read into the head, which is handed over once before any body byte;
// the body goes to the task in batches (transport/body_batches.h). It judges neither the
// status nor the sizes: the download task does.
#pragma once

#include <cstddef>
#include <string>

#include "transport/download_transport.h"

namespace tallybell {

class 下载客户端 final : public 下载传输 {
 public:
  // 批量字节 0 means the default batch size.
  explicit 下载客户端(std::size_t 批量字节 = 0) : 批量字节_(批量字节) {}

  bool 下载(const 下载请求& 请求, const 下载响应回调& 响应回调, const 下载数据回调& 数据回调,
            std::wstring* 错误) override;

 private:
  std::size_t 批量字节_;
};

}  // namespace tallybell
