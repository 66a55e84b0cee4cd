#include "coordinator/resolve_request.h"

#include <utility>

#include "common/failure.h"
#include "common/guid_text.h"
#include "common/text.h"
#include "coordinator/installation_identity.h"
#include "documents/json_output.h"
#include "documents/json_value.h"
#include "platform/system_info.h"

namespace tallybell {
namespace {

constexpr char 产品标识[] = "tallybell";
// The launcher and the update core ship together and carry one version.
constexpr char 发行版本[] = TALLYBELL_VERSION_TEXT;

// Strict conversion; an id that does not convert is sent as "" rather than dropping the
// whole request.
Json值 发布标识值(const std::wstring& 标识) {
  std::string UTF8;
  if (!宽转UTF8(标识, &UTF8)) UTF8.clear();
  return Json值::字符串(std::move(UTF8));
}

// The registry form with braces and upper-case digits, as the service logs it.
bool 新请求标识(std::wstring* 输出) {
  platform::GUID值 值;
  if (!platform::生成GUID(&值)) return false;
  std::wstring 文本 = GUID注册表形式(值);
  if (文本.size() != 38 || 文本.front() != L'{' || 文本.back() != L'}') return false;
  *输出 = std::move(文本);
  return true;
}

}  // namespace

bool 生成解析请求正文(const 本地版本状态& 状态, const std::string& 设备标识,
                      const std::string& userId, std::string* 正文) {
  if (正文 == nullptr) return false;
  Json值 隔离列表 = Json值::数组();
  for (const std::wstring& 标识 : 状态.quarantined) 隔离列表.追加元素(发布标识值(标识));

  Json值 文档 = Json值::对象();
  文档.设置成员("currentReleaseId", 发布标识值(状态.activeRelease));
  文档.设置成员("installationId", Json值::字符串(设备标识));
  文档.设置成员("lastGoodReleaseId", 发布标识值(状态.lastGoodRelease));
  文档.设置成员("launcherVersion", Json值::字符串(发行版本));
  文档.设置成员("os", Json值::字符串(取得系统描述()));
  文档.设置成员("productId", Json值::字符串(产品标识));
  文档.设置成员("quarantinedReleaseIds", std::move(隔离列表));
  文档.设置成员("updateCoreVersion", Json值::字符串(发行版本));
  文档.设置成员("userId", Json值::字符串(userId));
  return 序列化JSON(文档, 正文);
}

bool 请求版本策略(const 更新协调器配置& 配置, const 本地版本状态& 状态, const std::string& 设备标识,
                  JsonHttp传输* 传输, 版本策略* 策略, std::string* 原始文本, std::wstring* 错误) {
  if (传输 == nullptr || 策略 == nullptr || 原始文本 == nullptr) {
    return 失败(错误, L"解析请求参数无效。");
  }
  std::string 正文;
  if (!生成解析请求正文(状态, 设备标识, 配置.userId, &正文)) {
    return 失败(错误, L"无法生成解析请求正文。");
  }
  // One id for every endpoint of this call, so the service can tell a fail-over apart
  // from a second request.
  std::wstring 请求标识;
  if (!新请求标识(&请求标识)) return 失败(错误, L"无法生成解析请求标识。");
  if (配置.resolveUrls.empty()) return 失败(错误, L"没有配置解析地址。");

  for (const std::wstring& 地址 : 配置.resolveUrls) {
    JsonHttp响应 响应;
    std::wstring 传输错误;
    if (!传输->发送(服务JSON投递请求(地址, 正文, {L"X-Request-Id", 请求标识}), &响应, &传输错误)) {
      失败(错误, 传输错误.empty() ? L"解析请求发送失败。" : 传输错误.c_str());
      continue;
    }
    if (响应.statusCode != 200) {
      失败(错误, L"解析地址返回的状态码不是 200。");
      continue;
    }
    // A service that answers but sends nonsense is not overruled by another endpoint.
    版本策略 新策略;
    if (!解析版本策略(响应.body, &新策略, 错误)) return false;
    *策略 = std::move(新策略);
    *原始文本 = std::move(响应.body);
    return true;
  }
  return false;
}

}  // namespace tallybell
