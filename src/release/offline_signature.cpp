#include "release/offline_signature.h"

#include "common/codes.h"
#include "common/text.h"
#include "documents/manifest_signature.h"
#include "documents/sha256.h"
#include "release/verification.h"
#include "storage/files.h"
#include "storage/paths.h"

namespace tallybell {
namespace {

std::uint32_t 拒绝(const wchar_t* 文本, std::wstring* 消息) {
  if (消息 != nullptr) *消息 = 文本;
  return 发布清单哈希不符;
}

}  // namespace

std::uint32_t 校验离线版本签名(const std::wstring& 源目录, const std::wstring& 发布标识,
                              const std::string& 受信任公钥, 已签名离线清单* 输出, std::wstring* 消息) {
  *输出 = 已签名离线清单{};
  if (受信任公钥.empty()) return 成功;
  输出->已要求 = true;
  const std::wstring 清单路径 = 连接路径(源目录, 发布清单文件名);
  std::string 清单文本;
  std::string 签名内容;
  if (!读取整个文件(清单路径 + 签名文件后缀, &签名内容)) 签名内容.clear();
  if (!读取整个文件(清单路径, &清单文本)) 清单文本.clear();
  const auto 校验 = 校验发布清单签名(受信任公钥, 清单文本, 签名文件文本(签名内容));
  if (校验 != 签名校验结果::已通过) return 拒绝(签名校验消息(校验), 消息);
  // A signed manifest of another release must not install under this one's name.
  std::string 标识;
  if (!解析发布清单(清单文本, &输出->清单) || !宽转UTF8(发布标识, &标识) || 输出->清单.releaseId != 标识) {
    return 拒绝(离线版本与签名不符, 消息);
  }
  unsigned char 摘要[SHA256字节数];
  if (!计算数据SHA256(清单文本.data(), 清单文本.size(), 摘要)) return 拒绝(离线版本与签名不符, 消息);
  输出->清单哈希 = 转小写十六进制(摘要);
  return 成功;
}

bool 符合已签名清单(const std::wstring& 目录, const 已签名离线清单& 签名清单) {
  return 校验发布目录(目录, 签名清单.清单, 签名清单.清单哈希);
}

}  // namespace tallybell
