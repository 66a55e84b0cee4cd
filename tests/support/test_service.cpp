// The platform-independent part of the test service: the answers as routes.json, the
// requests read back from requests.jsonl, and the command line. Starting and ending the process is in test_service_<platform>.cpp.
#include "support/test_service.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <fstream>
#include <thread>
#include <nlohmann/json.hpp>

#include "support/environment_guard.h"
#include "support/temp_dir.h"

namespace tallybell::测试 {
namespace {

bool 名称相同(const std::string& 甲, const std::string& 乙) {
  return std::equal(甲.begin(), 甲.end(), 乙.begin(), 乙.end(), [](unsigned char a, unsigned char b) {
    return std::tolower(a) == std::tolower(b);
  });
}

// Bodies may hold any bytes, which JSON text cannot: they travel as hexadecimal.
std::string 转十六进制(const std::string& 字节) {
  std::string 文本;
  for (const unsigned char 字符 : 字节) 文本 += "0123456789abcdef"[字符 >> 4], 文本 += "0123456789abcdef"[字符 & 0xF];
  return 文本;
}

}  // namespace

// The service reads absent members as zero or false; the ones it tests for presence are
// added only when set.
void to_json(nlohmann::json& 文档, const 服务应答& 应答) {
  文档 = {{"status", 应答.status},     {"delayMs", 应答.delayMs},         {"chunked", 应答.chunked},
          {"hangUp", 应答.hangUp},     {"endless", 应答.endless},         {"headers", 应答.headers},
          {"bodySize", 应答.bodySize}, {"ignoreRange", 应答.ignoreRange}, {"extraBytes", 应答.extraBytes},
          {"trickleBytes", 应答.trickleBytes}, {"trickleMs", 应答.trickleMs}};
  if (!应答.body.empty()) 文档["bodyHex"] = 转十六进制(应答.body);
  if (!应答.location.empty()) 文档["location"] = 应答.location;
  if (应答.objectSize != 0) 文档["objectSize"] = 应答.objectSize;
  if (应答.resetAfter) 文档["resetAfter"] = *应答.resetAfter;
}

NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(记录的请求, method, target, path, headers, tlsVersion)

std::string 记录的请求::请求头(const std::string& 名称) const {
  const auto 项 = std::find_if(headers.begin(), headers.end(), [&](const auto& 头) { return 名称相同(头.first, 名称); });
  return 项 == headers.end() ? std::string() : 项->second;
}

bool 记录的请求::有请求头(const std::string& 名称) const {
  return std::any_of(headers.begin(), headers.end(), [&](const auto& 项) { return 名称相同(项.first, 名称); });
}

struct 测试服务::状态 {
  服务选项 选项;
  测试临时目录 控制目录;
  std::shared_ptr<void> 进程;
  std::uint16_t 端口 = 0;
  nlohmann::json 路由 = nlohmann::json::array();
};

测试服务::测试服务(服务选项 选项) : 状态_(std::make_unique<状态>()) {
  状态_->选项 = 选项;
  std::vector<std::string> 参数 = {"-B", TALLYBELL_SOURCE_DIR "/tests/service/tallybell_test_service.py"};
  if (!选项.https) 参数.push_back("--plain");
  if (选项.仅TLS13) 参数.push_back("--tls13-only");
  const auto 共同CA = 读环境变量("TALLYBELL_TEST_CA_DIR");
  if (共同CA && !选项.独立CA) 参数.insert(参数.end(), {"--ca-dir", *共同CA});
  if (!选项.证书名称.empty()) 参数.insert(参数.end(), {"--cert-name", 选项.证书名称});
  if (!启动服务进程(参数, 状态_->控制目录.路径(), &状态_->进程)) return;
  // Polling faster than this made later named-object tests fail under Wine.
  for (int 次 = 0; 次 < 300 && 状态_->端口 == 0; ++次) {
    unsigned 值 = 0;
    if (std::ifstream(状态_->控制目录.子路径("ready")) >> 值 && 值 > 0 && 值 <= 65535) {
      状态_->端口 = static_cast<std::uint16_t>(值);
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }
}

测试服务::~测试服务() = default;

bool 测试服务::已启动() const { return 状态_->端口 != 0; }
std::uint16_t 测试服务::端口() const { return 状态_->端口; }

std::string 测试服务::地址(const std::string& 路径) const {
  return (状态_->选项.https ? "https://localhost:" : "http://127.0.0.1:") + std::to_string(端口()) + 路径;
}

std::string 测试服务::CA文件() const {
  return 状态_->选项.https ? 状态_->控制目录.子路径("tls/ca.pem").string() : std::string();
}

std::string 测试服务::CA目录() const {
  return 状态_->选项.https ? 状态_->控制目录.子路径("tls/ca-dir").string() : std::string();
}

void 测试服务::设置路由(const std::string& 方法, const std::string& 路径, std::vector<服务应答> 应答) {
  nlohmann::json& 路由 = 状态_->路由;
  const nlohmann::json 新路由 = {{"method", 方法}, {"path", 路径}, {"responses", 应答}};
  // A route set again keeps its place: the service answers from the first route that matches.
  const auto 位置 = std::find_if(路由.begin(), 路由.end(), [&](const auto& 项) {
    return 项.at("method") == 方法 && 项.at("path") == 路径;
  });
  if (位置 != 路由.end()) {
    *位置 = 新路由;
  } else {
    路由.push_back(新路由);
  }
  // Written whole, then renamed into place: the service never reads half a file.
  const auto 临时 = 状态_->控制目录.子路径("routes.json.tmp");
  std::ofstream(临时, std::ios::binary | std::ios::trunc) << nlohmann::json{{"routes", 路由}}.dump();
  std::filesystem::rename(临时, 状态_->控制目录.子路径("routes.json"));
}

// The run's CA file alone on POSIX. Wine's WinHTTP takes the machine's trust instead (the
// prefix trusts the run's CA) and reads no such variable, but a default proxy from http_proxy.
void 只信任(const 测试服务& 服务, 环境变量保护* 环境) {
  for (const char* 名称 : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY", "no_proxy",
                           "NO_PROXY", "SSL_CERT_DIR"}) {
    环境->设置(名称, std::nullopt);
  }
  环境->设置("SSL_CERT_FILE", 服务.CA文件());
}

std::vector<记录的请求> 测试服务::已收请求() const {
  std::vector<记录的请求> 结果;
  std::ifstream 输入(状态_->控制目录.子路径("requests.jsonl"), std::ios::binary);
  std::string 行;
  while (std::getline(输入, 行)) {
    const auto 文档 = nlohmann::json::parse(行);
    auto 请求 = 文档.get<记录的请求>();
    const std::string 十六进制 = 文档.at("bodyHex");
    for (std::size_t i = 0; i + 1 < 十六进制.size(); i += 2) 请求.body += static_cast<char>(std::stoi(十六进制.substr(i, 2), nullptr, 16));
    结果.push_back(std::move(请求));
  }
  return 结果;
}

}  // namespace tallybell::测试
