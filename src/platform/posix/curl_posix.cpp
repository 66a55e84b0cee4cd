#include "platform/posix/curl_posix.h"

#include <cstdlib>

#include "common/text.h"
#include "platform/clock.h"
#include "platform/http_hop.h"

namespace tallybell::platform {
namespace {

// A set, non-empty environment variable; nullptr otherwise.
const char* 环境值(const char* 名称) {
  const char* 值 = std::getenv(名称);
  return 值 != nullptr && *值 != '\0' ? 值 : nullptr;
}

// The OpenSSL convention: either variable, when set, replaces the trust store libcurl was
// built with, so a private CA can be trusted alone.
bool 设置信任库(CURL* 句柄) {
  const char* 文件 = 环境值("SSL_CERT_FILE");
  const char* 目录 = 环境值("SSL_CERT_DIR");
  if (文件 == nullptr && 目录 == nullptr) return true;
  return ::curl_easy_setopt(句柄, CURLOPT_CAINFO, 文件) == CURLE_OK &&
         ::curl_easy_setopt(句柄, CURLOPT_CAPATH, 目录) == CURLE_OK;
}

}  // namespace

bool CURL请求头表::追加(const std::string& 行) {
  curl_slist* 新表 = ::curl_slist_append(表_, 行.c_str());
  if (新表 == nullptr) return false;
  表_ = 新表;
  return true;
}

bool 初始化CURL() {
  static const bool 结果 = ::curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  return 结果;
}

void CURL停顿监视::有进展() { 上次进展_ = 毫秒计时(); }

int CURL停顿监视::回调(void* 监视, curl_off_t, curl_off_t 已下载, curl_off_t 上传总量, curl_off_t 已上传) {
  return static_cast<CURL停顿监视*>(监视)->检查(已下载, 上传总量, 已上传);
}

int CURL停顿监视::检查(curl_off_t 已下载, curl_off_t 上传总量, curl_off_t 已上传) {
  if (!已连接_) {
    // Until the connection (with its TLS handshake) stands, the connect time-out rules.
    curl_off_t 准备完成 = 0;
    if (::curl_easy_getinfo(句柄_, CURLINFO_PRETRANSFER_TIME_T, &准备完成) != CURLE_OK || 准备完成 <= 0) return 0;
    已连接_ = true;
    有进展();
  }
  if (已下载 != 已下载_ || 已上传 != 已上传_) {
    已下载_ = 已下载;
    已上传_ = 已上传;
    有进展();
    return 0;
  }
  const bool 发送中 = 上传总量 > 0 && 已上传 < 上传总量;
  const std::uint32_t 时限 = 发送中 ? 时限_.sendMs : 时限_.receiveMs;
  return 时限 != 0 && 毫秒计时() - 上次进展_ > 时限 ? 1 : 0;
}

bool 设置CURL公共选项(CURL* 句柄, const std::string& 地址, const HTTP时限& 时限, CURL停顿监视* 监视) {
  std::string 用户代理;
  if (!宽转UTF8(HTTP用户代理, &用户代理)) return false;
  const long TLS版本 = CURL_SSLVERSION_TLSv1_2 | CURL_SSLVERSION_MAX_TLSv1_2;
  curl_xferinfo_callback 回调 = &CURL停顿监视::回调;
  return ::curl_easy_setopt(句柄, CURLOPT_URL, 地址.c_str()) == CURLE_OK &&
         ::curl_easy_setopt(句柄, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK &&
         ::curl_easy_setopt(句柄, CURLOPT_REDIR_PROTOCOLS_STR, "http,https") == CURLE_OK &&
         ::curl_easy_setopt(句柄, CURLOPT_FOLLOWLOCATION, 0L) == CURLE_OK &&
         ::curl_easy_setopt(句柄, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1)) == CURLE_OK &&
         ::curl_easy_setopt(句柄, CURLOPT_SSLVERSION, TLS版本) == CURLE_OK &&
         ::curl_easy_setopt(句柄, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK &&
         ::curl_easy_setopt(句柄, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK && 设置信任库(句柄) &&
         ::curl_easy_setopt(句柄, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(时限.connectMs)) == CURLE_OK &&
         ::curl_easy_setopt(句柄, CURLOPT_NOPROGRESS, 0L) == CURLE_OK &&
         ::curl_easy_setopt(句柄, CURLOPT_XFERINFOFUNCTION, 回调) == CURLE_OK &&
         ::curl_easy_setopt(句柄, CURLOPT_XFERINFODATA, 监视) == CURLE_OK &&
         ::curl_easy_setopt(句柄, CURLOPT_USERAGENT, 用户代理.c_str()) == CURLE_OK &&
         ::curl_easy_setopt(句柄, CURLOPT_NOSIGNAL, 1L) == CURLE_OK;
}

}  // namespace tallybell::platform
