// What the tests of the libcurl download client share: the HTTPS test service, trusted
// alone through SSL_CERT_FILE, with no proxy of the machine taking part.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <string>

#include "common/text.h"
#include "support/test_service.h"

namespace tallybell::测试 {

// Sets or removes environment variables for one scope and puts the old values back.
class 下载环境替换 {
 public:
  下载环境替换() = default;
  下载环境替换(const 下载环境替换&) = delete;
  下载环境替换& operator=(const 下载环境替换&) = delete;
  ~下载环境替换() {
    for (const auto& [名称, 原值] : 原值_) 写入(名称, 原值);
  }

  void 设置(const std::string& 名称, const std::optional<std::string>& 值) {
    if (原值_.count(名称) == 0) {
      const char* 原值 = std::getenv(名称.c_str());
      原值_[名称] = 原值 != nullptr ? std::optional<std::string>(原值) : std::nullopt;
    }
    写入(名称, 值);
  }

 private:
  static void 写入(const std::string& 名称, const std::optional<std::string>& 值) {
    if (值) {
      ::setenv(名称.c_str(), 值->c_str(), 1);
    } else {
      ::unsetenv(名称.c_str());
    }
  }

  std::map<std::string, std::optional<std::string>> 原值_;
};

// Points SSL_CERT_FILE at the service's CA and clears the proxy variables and
// SSL_CERT_DIR for the scope.
inline void 只信任测试服务(const 测试服务& 服务, 下载环境替换* 环境) {
  for (const char* 名称 : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY", "no_proxy",
                           "NO_PROXY", "SSL_CERT_DIR"}) {
    环境->设置(名称, std::nullopt);
  }
  环境->设置("SSL_CERT_FILE", 服务.CA文件());
}

// The Range header of the service's 序号-th request ("" when it had none).
inline std::string 收到的Range(const 测试服务& 服务, std::size_t 序号) {
  const auto 请求 = 服务.已收请求();
  return 序号 < 请求.size() ? 请求[序号].请求头("Range") : std::string("<no request>");
}

inline std::wstring 宽地址(const 测试服务& 服务, const std::string& 路径) { return 逐字节加宽(服务.地址(路径)); }

}  // namespace tallybell::测试
