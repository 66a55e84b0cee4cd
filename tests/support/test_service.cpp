// The platform-independent part of the test service: the answers as routes.json (written
// whole, then renamed into place), the requests read back from requests.jsonl, and the
// command line. Starting and ending the process is in test_service_<platform>.cpp.
#include "support/test_service.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <fstream>
#include <thread>
#include <nlohmann/json.hpp>

#include "support/environment_guard.h"
#include "support/temp_dir.h"
#include "support/test_service_process.h"

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

}  // namespace

std::string 记录的请求::请求头(const std::string& 名称) const {
  for (const auto& [键, 值] : headers) {
    if (名称相同(键, 名称)) return 值;
  }
  return {};
}

bool 记录的请求::有请求头(const std::string& 名称) const {
  return std::any_of(headers.begin(), headers.end(), [&](const auto& 项) { return 名称相同(项.first, 名称); });
}

struct 测试服务::状态 {
  服务选项 选项;
  测试临时目录 控制目录;
  std::shared_ptr<void> 进程;
  std::uint16_t 端口 = 0;
  std::vector<std::pair<std::string, std::vector<服务应答>>> 路由;

  void 写路由() const {
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
  const std::string 键 = 方法 + " " + 路径;
  auto 位置 = std::find_if(状态_->路由.begin(), 状态_->路由.end(), [&](const auto& 项) { return 项.first == 键; });
  if (位置 == 状态_->路由.end()) 位置 = 状态_->路由.insert(位置, {键, {}});
  位置->second = std::move(应答);
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
    for (const auto& 项 : 文档.at("headers")) 请求.headers.emplace_back(项.at(0), 项.at(1));
    const std::string 十六进制 = 文档.at("bodyHex");
    for (std::size_t i = 0; i + 1 < 十六进制.size(); i += 2) 请求.body += static_cast<char>(std::stoi(十六进制.substr(i, 2), nullptr, 16));
    请求.tlsVersion = 文档.at("tlsVersion");
    结果.push_back(std::move(请求));
  }
  return 结果;
}

}  // namespace tallybell::测试
