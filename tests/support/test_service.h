// A real HTTP service on loopback for the network tests: the Python service of
// tests/service (HTTPS, or plain HTTP), started as a process and gone with the object. On
// POSIX it is a child process; under Wine the Windows test program starts it as the Unix
// process it is, and it ends when its control directory goes.
//
// The test sets the answers per route and reads back the requests the service received.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tallybell::测试 {

// One answer of a route.
struct 服务应答 {
  std::uint32_t status = 200;
  std::vector<std::pair<std::string, std::string>> headers;  // besides the ones below
  std::string body;
  std::uint64_t bodySize = 0;  // when body is empty: this many 'x' bytes
  std::string location;        // sent as Location when not empty
  std::uint32_t delayMs = 0;   // wait before the response head
  bool chunked = false;        // chunked transfer coding instead of Content-Length
  bool hangUp = false;         // close the connection without any response
  // A body of 'x' bytes without end (until the client closes, at most 1 GiB) instead of
  // body or bodySize, sent without a Content-Length.
  bool endless = false;

  // An object answer when objectSize is not 0: that many bytes in which every 8-byte word
  // holds its own offset (little endian). Status 200 then means "the fitting one": 206
  // with a Content-Range for a satisfiable "Range: bytes=N-", 416 past the end, else 200;
  // another status is sent as given. A Content-Range, Content-Length or Accept-Ranges in
  // headers replaces the service's own. body, bodySize and location are not used.
  std::uint64_t objectSize = 0;
  bool ignoreRange = false;                 // answer a range request with the whole object
  std::uint64_t extraBytes = 0;             // this many 'x' bytes after the object's end
  std::optional<std::uint64_t> resetAfter;  // reset the connection after this many body bytes
  std::uint32_t trickleBytes = 0;           // send the body in pieces of this many bytes...
  std::uint32_t trickleMs = 0;              // ...with this pause before each
};

// The answers most tests need: a status with an optional body, and a redirect.
inline 服务应答 应答(std::uint32_t 状态码, std::string 正文 = {}) {
  服务应答 结果;
  结果.status = 状态码;
  结果.body = std::move(正文);
  return 结果;
}
inline 服务应答 对象应答(std::uint64_t 大小) {
  服务应答 结果;
  结果.objectSize = 大小;
  return 结果;
}
inline 服务应答 跳转应答(std::uint32_t 状态码, std::string 目标) {
  服务应答 结果;
  结果.status = 状态码;
  结果.location = std::move(目标);
  return 结果;
}

// One request as the service received it.
struct 记录的请求 {
  std::string method;
  std::string target;  // the request line's target (absolute form when sent to a proxy)
  std::string path;    // without the query
  std::vector<std::pair<std::string, std::string>> headers;  // in arrival order
  std::string body;
  std::string tlsVersion;  // "TLSv1.2" and so on; empty for plain HTTP

  // The first header of that name, ignoring ASCII letter case; empty when there is none.
  std::string 请求头(const std::string& 名称) const;
  bool 有请求头(const std::string& 名称) const;
};

struct 服务选项 {
  bool https = true;
  bool 仅TLS13 = false;  // refuse every TLS version below 1.3
  // A CA of its own, which nothing trusts, instead of the run's CA (TALLYBELL_TEST_CA_DIR,
  // the one a Wine prefix trusts) when that is set.
  bool 独立CA = false;
  std::string 证书名称;  // the certificate's one DNS name; empty: localhost and 127.0.0.1
};
inline 服务选项 明文选项() {
  服务选项 选项;
  选项.https = false;
  return 选项;
}

class 测试服务 {
 public:
  explicit 测试服务(服务选项 选项 = {});
  ~测试服务();
  测试服务(const 测试服务&) = delete;
  测试服务& operator=(const 测试服务&) = delete;

  // False when the service could not be started; nothing else is then usable.
  bool 已启动() const;
  std::uint16_t 端口() const;
  // "https://localhost:<port>" + 路径 for HTTPS, "http://127.0.0.1:<port>" + 路径 otherwise.
  std::string 地址(const std::string& 路径) const;
  // The CA that signed the service's certificate, as a PEM file and as a directory in the
  // SSL_CERT_DIR layout; empty for plain HTTP.
  std::string CA文件() const;
  std::string CA目录() const;

  // Answers for requests with this method ("*": any) and path ("*": any path; the query
  // is not compared). The n-th matching request gets the n-th answer, the last repeats.
  // Setting a route again replaces it and restarts every route's sequence. Requests that
  // match no route get 404.
  void 设置路由(const std::string& 方法, const std::string& 路径, std::vector<服务应答> 应答);
  std::vector<记录的请求> 已收请求() const;

 private:
  struct 状态;
  std::unique_ptr<状态> 状态_;
};

// The per-platform part. Starts python3 with 参数 and "--control-dir <控制目录>"; the service
// writes its port to <控制目录>/ready once it listens. It ends with *持有者 at the latest
// (under Wine: once the control directory is gone).
bool 启动服务进程(const std::vector<std::string>& 参数, const std::filesystem::path& 控制目录,
                  std::shared_ptr<void>* 持有者);

// The per-platform part of the network tests. Empty when they can run here, else why not
// (the Windows program needs Wine to start the service, and a prefix that trusts the run's CA).
std::string 网络测试不可运行原因();

// Makes the platform's HTTP library trust 服务's CA, alone, for the scope of 环境, and
// takes every proxy of the machine out of the way.
class 环境变量保护;
void 只信任(const 测试服务& 服务, 环境变量保护* 环境);

}  // namespace tallybell::测试
