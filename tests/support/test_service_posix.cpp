// Starts tests/service/tallybell_test_service.py and talks to it through its control
// directory: routes.json (written whole, then renamed into place) and requests.jsonl.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "support/temp_dir.h"
#include "support/test_service.h"

extern char** environ;

namespace tallybell::测试 {
namespace {

const char* const 服务脚本 = TALLYBELL_SOURCE_DIR "/tests/service/tallybell_test_service.py";

std::string 转十六进制(const std::string& 字节) {
  static const char 数字[] = "0123456789abcdef";
  std::string 文本;
  for (const char 字符 : 字节) {
    const auto 值 = static_cast<unsigned char>(字符);
    文本 += 数字[值 >> 4];
    文本 += 数字[值 & 0xF];
  }
  return 文本;
}

std::string 十六进制转字节(const std::string& 文本) {
  std::string 字节;
  for (std::size_t i = 0; i + 1 < 文本.size(); i += 2) {
    字节 += static_cast<char>(std::stoi(文本.substr(i, 2), nullptr, 16));
  }
  return 字节;
}

nlohmann::json 应答文档(const 服务应答& 应答) {
  nlohmann::json 文档 = {{"status", 应答.status}, {"delayMs", 应答.delayMs}, {"chunked", 应答.chunked},
                         {"hangUp", 应答.hangUp}, {"headers", nlohmann::json::array()}};
  if (应答.endless) 文档["endless"] = true;
  for (const auto& [名称, 值] : 应答.headers) 文档["headers"].push_back({名称, 值});
  if (!应答.body.empty()) {
    文档["bodyHex"] = 转十六进制(应答.body);
  } else {
    文档["bodySize"] = 应答.bodySize;
  }
  if (!应答.location.empty()) 文档["location"] = 应答.location;
  if (应答.objectSize != 0) {
    文档["objectSize"] = 应答.objectSize;
    文档["ignoreRange"] = 应答.ignoreRange;
    文档["extraBytes"] = 应答.extraBytes;
    文档["trickleBytes"] = 应答.trickleBytes;
    文档["trickleMs"] = 应答.trickleMs;
    if (应答.resetAfter) 文档["resetAfter"] = *应答.resetAfter;
  }
  return 文档;
}

// The Debian interpreter starts fastest; any python3 on PATH will do elsewhere.
const char* 解释器() { return ::access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3"; }

}  // namespace

struct 测试服务::状态 {
  服务选项 选项;
  测试临时目录 控制目录;
  pid_t 进程 = -1;
  int 输入 = -1;  // the service's stdin: it exits when this closes
  std::uint16_t 端口 = 0;
  std::vector<std::pair<std::string, std::vector<服务应答>>> 路由;

  bool 启动();
  void 写路由() const;
};

bool 测试服务::状态::启动() {
  int 输入管道[2];
  int 输出管道[2];
  if (::pipe2(输入管道, O_CLOEXEC) != 0) return false;
  if (::pipe2(输出管道, O_CLOEXEC) != 0) {
    ::close(输入管道[0]);
    ::close(输入管道[1]);
    return false;
  }
  const std::string 目录 = 控制目录.路径().string();
  const std::string 日志 = 目录 + "/service.stderr";
  std::vector<std::string> 参数 = {解释器(), "-B", 服务脚本, "--control-dir", 目录};
  if (!选项.https) 参数.push_back("--plain");
  if (选项.仅TLS13) 参数.push_back("--tls13-only");
  std::vector<char*> 参数指针;
  for (auto& 项 : 参数) 参数指针.push_back(项.data());
  参数指针.push_back(nullptr);

  posix_spawn_file_actions_t 动作;
  posix_spawn_file_actions_init(&动作);
  posix_spawn_file_actions_adddup2(&动作, 输入管道[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&动作, 输出管道[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&动作, STDERR_FILENO, 日志.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  const int 错误 = ::posix_spawnp(&进程, 参数指针[0], &动作, nullptr, 参数指针.data(), environ);
  posix_spawn_file_actions_destroy(&动作);
  ::close(输入管道[0]);
  ::close(输出管道[1]);
  输入 = 输入管道[1];
  if (错误 != 0) 进程 = -1;

  // The service prints "ready <port>" once it listens; end of output means it failed.
  std::string 行;
  char 字符 = 0;
  while (进程 > 0 && 行.find('\n') == std::string::npos) {
    const ssize_t 数量 = ::read(输出管道[0], &字符, 1);
    if (数量 == 1) {
      行 += 字符;
    } else if (数量 == 0 || errno != EINTR) {
      break;
    }
  }
  ::close(输出管道[0]);
  unsigned 端口值 = 0;
  if (std::sscanf(行.c_str(), "ready %u", &端口值) != 1 || 端口值 == 0 || 端口值 > 65535) return false;
  端口 = static_cast<std::uint16_t>(端口值);
  return true;
}

void 测试服务::状态::写路由() const {
  nlohmann::json 文档 = {{"routes", nlohmann::json::array()}};
  for (const auto& [键, 应答表] : 路由) {
    const auto 空格 = 键.find(' ');
    nlohmann::json 路由项 = {{"method", 键.substr(0, 空格)}, {"path", 键.substr(空格 + 1)},
                             {"responses", nlohmann::json::array()}};
    for (const auto& 应答 : 应答表) 路由项["responses"].push_back(应答文档(应答));
    文档["routes"].push_back(路由项);
  }
  const auto 临时 = 控制目录.子路径("routes.json.tmp");
  std::ofstream(临时, std::ios::binary | std::ios::trunc) << 文档.dump();
  std::filesystem::rename(临时, 控制目录.子路径("routes.json"));
}

测试服务::测试服务(服务选项 选项) : 状态_(std::make_unique<状态>()) {
  状态_->选项 = 选项;
  if (!状态_->启动()) 状态_->端口 = 0;
}

测试服务::~测试服务() {
  if (状态_->输入 >= 0) ::close(状态_->输入);
  if (状态_->进程 > 0) {
    ::kill(状态_->进程, SIGKILL);
    while (::waitpid(状态_->进程, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
}

bool 测试服务::已启动() const { return 状态_->端口 != 0; }
std::uint16_t 测试服务::端口() const { return 状态_->端口; }

std::string 测试服务::地址(const std::string& 路径) const {
  return (状态_->选项.https ? "https://localhost:" : "http://127.0.0.1:") + std::to_string(状态_->端口) + 路径;
}

std::string 测试服务::CA文件() const {
  return 状态_->选项.https ? 状态_->控制目录.子路径("tls/ca.pem").string() : std::string();
}

std::string 测试服务::CA目录() const {
  return 状态_->选项.https ? 状态_->控制目录.子路径("tls/ca-dir").string() : std::string();
}

void 测试服务::设置路由(const std::string& 方法, const std::string& 路径, std::vector<服务应答> 应答) {
  const std::string 键 = 方法 + " " + 路径;
  for (auto& [已有键, 已有应答] : 状态_->路由) {
    if (已有键 == 键) {
      已有应答 = std::move(应答);
      状态_->写路由();
      return;
    }
  }
  状态_->路由.emplace_back(键, std::move(应答));
  状态_->写路由();
}

std::vector<记录的请求> 测试服务::已收请求() const {
  std::vector<记录的请求> 结果;
  std::ifstream 输入(状态_->控制目录.子路径("requests.jsonl"), std::ios::binary);
  std::string 行;
  while (std::getline(输入, 行)) {
    const auto 文档 = nlohmann::json::parse(行);
    记录的请求 请求;
    请求.method = 文档.at("method");
    请求.target = 文档.at("target");
    请求.path = 文档.at("path");
    请求.query = 文档.at("query");
    for (const auto& 项 : 文档.at("headers")) 请求.headers.emplace_back(项.at(0), 项.at(1));
    请求.body = 十六进制转字节(文档.at("bodyHex"));
    请求.tlsVersion = 文档.at("tlsVersion");
    结果.push_back(std::move(请求));
  }
  return 结果;
}

}  // namespace tallybell::测试
