// The Windows face of the test service: a plain-HTTP server on a thread of the test
// program, listening on 127.0.0.1 at a free port, one thread per connection.
// It answers origin-form and proxy (absolute-form) requests alike, so a test can point the
// client's proxy at it and reach the designated content host's name.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <sstream>
#include <thread>

#include "platform/windows/handles_win.h"
#include "support/test_service.h"

namespace tallybell::测试 {
namespace {

constexpr std::size_t 最大请求头 = 65536;
constexpr std::size_t 发送块大小 = 65536;

struct 套接字特性 {
  using 值类型 = SOCKET;
  static SOCKET 无效值() noexcept { return INVALID_SOCKET; }
  static bool 有效(SOCKET 值) noexcept { return 值 != INVALID_SOCKET; }
  static void 关闭(SOCKET 值) noexcept { ::closesocket(值); }
};
using 套接字 = platform::windows::作用域资源<套接字特性>;

class Winsock初始化 {
 public:
  Winsock初始化() {
    WSADATA 数据{};
    成功_ = ::WSAStartup(MAKEWORD(2, 2), &数据) == 0;
  }
  ~Winsock初始化() {
    if (成功_) ::WSACleanup();
  }
  Winsock初始化(const Winsock初始化&) = delete;
  Winsock初始化& operator=(const Winsock初始化&) = delete;
  bool 成功() const { return 成功_; }

 private:
  bool 成功_ = false;
};

bool 全部发送(SOCKET 连接, const char* 数据, std::size_t 长度) {
  while (长度 > 0) {
    const int 已发 = ::send(连接, 数据, static_cast<int>(std::min<std::size_t>(长度, 发送块大小)), 0);
    if (已发 <= 0) return false;
    数据 += 已发;
    长度 -= static_cast<std::size_t>(已发);
  }
  return true;
}

std::string 去空白(const std::string& 文本) {
  const auto 起 = 文本.find_first_not_of(" \t");
  if (起 == std::string::npos) return {};
  return 文本.substr(起, 文本.find_last_not_of(" \t") - 起 + 1);
}

// Fills method, target, path, query and headers from the head (without its blank line).
bool 解析请求头(const std::string& 头, 记录的请求* 请求) {
  std::size_t 行首 = 头.find("\r\n");
  const std::string 请求行 = 头.substr(0, 行首);
  const auto 空格1 = 请求行.find(' ');
  const auto 空格2 = 请求行.find(' ', 空格1 + 1);
  if (空格1 == std::string::npos || 空格2 == std::string::npos) return false;
  请求->method = 请求行.substr(0, 空格1);
  请求->target = 请求行.substr(空格1 + 1, 空格2 - 空格1 - 1);
  std::string 源形式 = 请求->target;
  if (_strnicmp(源形式.c_str(), "http://", 7) == 0) {
    const auto 斜线 = 源形式.find('/', 7);
    源形式 = 斜线 == std::string::npos ? "/" : 源形式.substr(斜线);
  }
  const auto 问号 = 源形式.find('?');
  请求->path = 源形式.substr(0, 问号);
  请求->query = 问号 == std::string::npos ? std::string() : 源形式.substr(问号 + 1);
  while (行首 != std::string::npos && 行首 + 2 < 头.size()) {
    const std::size_t 行尾 = std::min(头.find("\r\n", 行首 + 2), 头.size());
    const std::string 行 = 头.substr(行首 + 2, 行尾 - 行首 - 2);
    const auto 冒号 = 行.find(':');
    if (冒号 != std::string::npos) 请求->headers.emplace_back(行.substr(0, 冒号), 去空白(行.substr(冒号 + 1)));
    行首 = 行尾 < 头.size() ? 行尾 : std::string::npos;
  }
  return true;
}

bool 读取请求(SOCKET 连接, 记录的请求* 请求) {
  std::string 数据;
  char 缓冲[4096];
  std::size_t 头尾 = std::string::npos;
  while ((头尾 = 数据.find("\r\n\r\n")) == std::string::npos) {
    const int 读到 = ::recv(连接, 缓冲, sizeof 缓冲, 0);
    if (读到 <= 0 || 数据.size() > 最大请求头) return false;
    数据.append(缓冲, static_cast<std::size_t>(读到));
  }
  if (!解析请求头(数据.substr(0, 头尾), 请求)) return false;
  const std::string 长度文本 = 请求->请求头("Content-Length");
  const std::size_t 正文长度 = 长度文本.empty() ? 0 : std::stoull(长度文本);
  请求->body = 数据.substr(头尾 + 4);
  while (请求->body.size() < 正文长度) {
    const int 读到 = ::recv(连接, 缓冲, sizeof 缓冲, 0);
    if (读到 <= 0) return false;
    请求->body.append(缓冲, static_cast<std::size_t>(读到));
  }
  return true;
}

std::string 应答头(const 服务应答& 应答, std::uint64_t 正文长度) {
  std::string 头 = "HTTP/1.1 " + std::to_string(应答.status) + " Test\r\n";
  bool 有长度 = false;
  for (const auto& [名称, 值] : 应答.headers) {
    头 += 名称 + ": " + 值 + "\r\n";
    有长度 = 有长度 || _stricmp(名称.c_str(), "Content-Length") == 0;
  }
  if (!应答.location.empty()) 头 += "Location: " + 应答.location + "\r\n";
  if (应答.chunked) {
    头 += "Transfer-Encoding: chunked\r\n";
  } else if (!有长度 && !应答.endless) {
    头 += "Content-Length: " + std::to_string(正文长度) + "\r\n";
  }
  return 头 + "Connection: close\r\n\r\n";
}

// An endless body stops here at the latest, should a client never stop reading.
constexpr std::uint64_t 无尽正文上限 = 1ULL << 30;

bool 发送正文(SOCKET 连接, const 服务应答& 应答) {
  const std::uint64_t 总长 = 应答.endless ? 无尽正文上限 : 应答.body.empty() ? 应答.bodySize : 应答.body.size();
  const std::string 填充(发送块大小, 'x');
  for (std::uint64_t 已发 = 0; 已发 < 总长;) {
    const std::size_t 块长 = static_cast<std::size_t>(std::min<std::uint64_t>(总长 - 已发, 发送块大小));
    const char* 块 = 应答.body.empty() ? 填充.data() : 应答.body.data() + 已发;
    if (应答.chunked) {
      std::ostringstream 块头;
      块头 << std::hex << 块长 << "\r\n";
      const std::string 块头文本 = 块头.str();
      if (!全部发送(连接, 块头文本.data(), 块头文本.size())) return false;
    }
    if (!全部发送(连接, 块, 块长) || (应答.chunked && !全部发送(连接, "\r\n", 2))) return false;
    已发 += 块长;
  }
  return !应答.chunked || 全部发送(连接, "0\r\n\r\n", 5);
}

// Bytes 起 to 止 - 1 of an object in which every 8-byte word holds its own offset.
std::string 图案字节(std::uint64_t 起, std::uint64_t 止) {
  std::string 字节;
  字节.reserve(static_cast<std::size_t>(止 - 起));
  for (std::uint64_t 位置 = 起; 位置 < 止; ++位置) 字节 += static_cast<char>((位置 / 8 * 8 >> (8 * (位置 % 8))) & 0xff);
  return 字节;
}

bool 有应答头(const 服务应答& 应答, const char* 名称) {
  return std::any_of(应答.headers.begin(), 应答.headers.end(),
                     [&](const auto& 项) { return _stricmp(项.first.c_str(), 名称) == 0; });
}

// The object bytes a Range asks for: "bytes=N-" or "bytes=N-M". False for no usable
// Range; *越界 when N is past the end.
bool 请求范围(const 记录的请求& 请求, std::uint64_t 大小, std::uint64_t* 起, std::uint64_t* 止, bool* 越界) {
  const std::string 值 = 请求.请求头("Range");
  unsigned long long 首 = 0;
  unsigned long long 末 = 0;
  char 尾 = 0;
  const int 项数 = std::sscanf(值.c_str(), "bytes=%llu-%llu%c", &首, &末, &尾);
  if (值.rfind("bytes=", 0) != 0 || 项数 < 1 || 项数 > 2 || (项数 == 1 && 值.back() != '-')) return false;
  *越界 = 首 >= 大小;
  *起 = 首;
  *止 = 项数 == 2 ? std::min<std::uint64_t>(末 + 1, 大小) : 大小;
  return *越界 || *止 > *起;
}

// Turns an object answer into the answer to send: status, headers and body.
服务应答 具体对象应答(const 服务应答& 应答, const 记录的请求& 请求) {
  服务应答 结果 = 应答;
  const std::uint64_t 大小 = 应答.objectSize;
  std::uint64_t 起 = 0;
  std::uint64_t 止 = 大小;
  bool 越界 = false;
  std::vector<std::pair<std::string, std::string>> 自有 = {{"Accept-Ranges", "bytes"}};
  if (!应答.ignoreRange && 请求范围(请求, 大小, &起, &止, &越界)) {
    if (越界) {
      起 = 止 = 0;
      if (结果.status == 200) 结果.status = 416;
      自有.emplace_back("Content-Range", "bytes */" + std::to_string(大小));
    } else {
      if (结果.status == 200) 结果.status = 206;
      自有.emplace_back("Content-Range",
                        "bytes " + std::to_string(起) + "-" + std::to_string(止 - 1) + "/" + std::to_string(大小));
    }
  }
  for (const auto& 项 : 自有) {
    if (!有应答头(应答, 项.first.c_str())) 结果.headers.push_back(项);
  }
  结果.body = 图案字节(起, 止) + std::string(static_cast<std::size_t>(应答.extraBytes), 'x');
  结果.location.clear();
  return 结果;
}

// Sends an object answer's body, piece by piece, and resets the connection after
// resetAfter bytes when asked to. False when the connection is to be dropped as it is.
bool 发送对象正文(SOCKET 连接, const 服务应答& 应答, HANDLE 停止) {
  const std::size_t 块长 = 应答.trickleBytes != 0 ? 应答.trickleBytes : 发送块大小;
  const std::uint64_t 上限 = 应答.resetAfter.value_or(应答.body.size());
  std::uint64_t 已发 = 0;
  while (已发 < std::min<std::uint64_t>(上限, 应答.body.size())) {
    if (应答.trickleMs != 0 && ::WaitForSingleObject(停止, 应答.trickleMs) == WAIT_OBJECT_0) return false;
    const auto 长 = static_cast<std::size_t>(std::min<std::uint64_t>({块长, 上限 - 已发, 应答.body.size() - 已发}));
    std::string 帧 = 应答.body.substr(static_cast<std::size_t>(已发), 长);
    if (应答.chunked) {
      std::ostringstream 块头;
      块头 << std::hex << 长 << "\r\n";
      帧 = 块头.str() + 帧 + "\r\n";
    }
    if (!全部发送(连接, 帧.data(), 帧.size())) return false;
    已发 += 长;
  }
  if (应答.resetAfter) {
    // Let the bytes arrive, then close with a reset instead of a FIN.
    ::WaitForSingleObject(停止, 300);
    const linger 立即{1, 0};
    ::setsockopt(连接, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&立即), sizeof 立即);
    return false;
  }
  return !应答.chunked || 全部发送(连接, "0\r\n\r\n", 5);
}

}  // namespace

struct 测试服务::状态 {
  服务选项 选项;
  Winsock初始化 winsock;
  套接字 监听;
  std::uint16_t 端口 = 0;
  platform::windows::作用域句柄 停止{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  mutable std::mutex 锁;
  std::vector<std::pair<std::string, std::vector<服务应答>>> 路由;
  std::vector<std::size_t> 已答;
  std::vector<记录的请求> 记录;
  std::thread 线程;
  std::vector<std::thread> 连接线程;  // touched only by 线程 until it has ended

  bool 启动();
  void 运行();
  void 处理连接(SOCKET 连接);
  服务应答 选择应答(const 记录的请求& 请求);
};

bool 测试服务::状态::启动() {
  if (选项.https || !winsock.成功() || !停止) return false;
  监听.重置(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  sockaddr_in 地址{};
  地址.sin_family = AF_INET;
  地址.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int 长度 = sizeof 地址;
  if (!监听 || ::bind(监听.get(), reinterpret_cast<sockaddr*>(&地址), sizeof 地址) != 0 ||
      ::listen(监听.get(), SOMAXCONN) != 0 ||
      ::getsockname(监听.get(), reinterpret_cast<sockaddr*>(&地址), &长度) != 0) {
    return false;
  }
  端口 = ntohs(地址.sin_port);
  线程 = std::thread([this] { 运行(); });
  return true;
}

void 测试服务::状态::运行() {
  while (::WaitForSingleObject(停止.get(), 0) == WAIT_TIMEOUT) {
    fd_set 集合;
    FD_ZERO(&集合);
    FD_SET(监听.get(), &集合);
    timeval 等待{0, 100000};
    if (::select(0, &集合, nullptr, nullptr, &等待) <= 0) continue;
    // One thread per connection, so a slow answer holds up no other request.
    套接字 连接(::accept(监听.get(), nullptr, nullptr));
    if (!连接) continue;
    连接线程.emplace_back([this, 值 = 连接.交出()] {
      套接字 自己的连接(值);
      处理连接(自己的连接.get());
    });
  }
}

void 测试服务::状态::处理连接(SOCKET 连接) {
  DWORD 接收时限 = 10000;
  ::setsockopt(连接, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&接收时限), sizeof 接收时限);
  记录的请求 请求;
  if (!读取请求(连接, &请求)) return;
  const 服务应答 应答 = 选择应答(请求);
  const bool 只要头 = 请求.method == "HEAD";
  const 记录的请求 请求副本 = 应答.objectSize != 0 ? 请求 : 记录的请求{};
  {
    std::lock_guard<std::mutex> 保护(锁);
    记录.push_back(std::move(请求));
  }
  if (::WaitForSingleObject(停止.get(), 应答.delayMs) == WAIT_OBJECT_0 || 应答.hangUp) return;
  if (应答.objectSize != 0) {
    const 服务应答 对象 = 具体对象应答(应答, 请求副本);
    const std::string 头 = 应答头(对象, 对象.body.size());
    if (全部发送(连接, 头.data(), 头.size()) && (只要头 || 发送对象正文(连接, 对象, 停止.get()))) {
      ::shutdown(连接, SD_SEND);
    }
    return;
  }
  const std::uint64_t 正文长度 = 应答.body.empty() ? 应答.bodySize : 应答.body.size();
  const std::string 头 = 应答头(应答, 正文长度);
  if (全部发送(连接, 头.data(), 头.size()) && (只要头 || 发送正文(连接, 应答))) {
    ::shutdown(连接, SD_SEND);
  }
}

服务应答 测试服务::状态::选择应答(const 记录的请求& 请求) {
  std::lock_guard<std::mutex> 保护(锁);
  for (std::size_t i = 0; i < 路由.size(); ++i) {
    const auto 空格 = 路由[i].first.find(' ');
    const std::string 方法 = 路由[i].first.substr(0, 空格);
    const std::string 路径 = 路由[i].first.substr(空格 + 1);
    if ((方法 != "*" && 方法 != 请求.method) || (路径 != "*" && 路径 != 请求.path)) continue;
    const auto& 应答表 = 路由[i].second;
    if (应答表.empty()) return {};
    return 应答表[std::min(已答[i]++, 应答表.size() - 1)];
  }
  服务应答 未找到;
  未找到.status = 404;
  return 未找到;
}

测试服务::测试服务(服务选项 选项) : 状态_(std::make_unique<状态>()) {
  状态_->选项 = 选项;
  if (!状态_->启动()) 状态_->端口 = 0;
}

测试服务::~测试服务() {
  if (状态_->停止) ::SetEvent(状态_->停止.get());
  if (状态_->线程.joinable()) 状态_->线程.join();
  for (auto& 线程 : 状态_->连接线程) 线程.join();
}

bool 测试服务::已启动() const { return 状态_->端口 != 0; }
std::uint16_t 测试服务::端口() const { return 状态_->端口; }

std::string 测试服务::地址(const std::string& 路径) const {
  return "http://127.0.0.1:" + std::to_string(状态_->端口) + 路径;
}

std::string 测试服务::CA文件() const { return {}; }
std::string 测试服务::CA目录() const { return {}; }

void 测试服务::设置路由(const std::string& 方法, const std::string& 路径, std::vector<服务应答> 应答) {
  std::lock_guard<std::mutex> 保护(状态_->锁);
  const std::string 键 = 方法 + " " + 路径;
  auto 已有 = std::find_if(状态_->路由.begin(), 状态_->路由.end(), [&](const auto& 项) { return 项.first == 键; });
  if (已有 != 状态_->路由.end()) {
    已有->second = std::move(应答);
  } else {
    状态_->路由.emplace_back(键, std::move(应答));
  }
  状态_->已答.assign(状态_->路由.size(), 0);
}

std::vector<记录的请求> 测试服务::已收请求() const {
  std::lock_guard<std::mutex> 保护(状态_->锁);
  return 状态_->记录;
}

}  // namespace tallybell::测试
