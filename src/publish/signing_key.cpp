#include "publish/signing_key.h"

#include <algorithm>
#include <vector>

#include "common/base64.h"
#include "documents/manifest_signature.h"
#include "documents/sha256.h"
#include "publish/publish_codes.h"
#include "storage/files.h"

namespace tallybell {
namespace {

constexpr char 公钥标签[] = "public ";
constexpr char 私钥标签[] = "private ";

bool 去掉前缀(const std::string& 行, const char* 前缀, std::string* 余下) {
  const std::string 头(前缀);
  if (行.compare(0, 头.size(), 头) != 0) return false;
  *余下 = 行.substr(头.size());
  return true;
}

bool 解析密钥文件(const std::string& 文本, 签名密钥* 密钥) {
  bool 有公钥 = false;
  bool 有私钥 = false;
  std::size_t 位置 = 0;
  while (位置 < 文本.size()) {
    std::size_t 结尾 = 文本.find('\n', 位置);
    if (结尾 == std::string::npos) 结尾 = 文本.size();
    std::string 行 = 文本.substr(位置, 结尾 - 位置);
    位置 = 结尾 + 1;
    if (!行.empty() && 行.back() == '\r') 行.pop_back();
    std::string 值;
    std::vector<unsigned char> 字节;
    if (行.empty() || 行[0] == '#') continue;
    if (去掉前缀(行, 公钥标签, &值) && !有公钥) {
      有公钥 = 解析公钥文本(值, &密钥->公钥);
      if (!有公钥) return false;
    } else if (去掉前缀(行, 私钥标签, &值) && !有私钥 && Base64解码(值, &字节) && 字节.size() == 密钥->私钥.size()) {
      std::copy(字节.begin(), 字节.end(), 密钥->私钥.begin());
      有私钥 = true;
    } else {
      return false;
    }
  }
  return 有公钥 && 有私钥;
}

}  // namespace

std::string 签名密钥文件文本(const 签名密钥& 密钥) {
  return "# tallybell-publish signing key (ECDSA P-256). Keep it secret and offline.\n" + std::string(公钥标签) +
         公钥文本(密钥.公钥) + "\n" + 私钥标签 +
         Base64编码(std::vector<unsigned char>(密钥.私钥.begin(), 密钥.私钥.end())) + "\n";
}

bool 读取签名密钥(const std::wstring& 路径, 签名密钥* 密钥, 发布失败* 失败) {
  std::string 文本;
  if (!读取整个文件(路径, &文本)) {
    *失败 = {发布读写失败, 带名称(L"无法读取签名密钥", 路径)};
    return false;
  }
  if (!解析密钥文件(文本, 密钥)) {
    *失败 = {发布输入被拒绝, 带名称(L"不是 tallybell-publish key generate 生成的签名密钥", 路径)};
    return false;
  }
  return true;
}

bool 签署清单(const 签名密钥& 密钥, const std::string& 清单文本, std::string* 签名, 发布失败* 失败) {
  platform::SHA256摘要 摘要;
  platform::P256签名 值;
  if (计算数据SHA256(清单文本.data(), 清单文本.size(), 摘要.data()) &&
      platform::签署P256(密钥.私钥, 密钥.公钥, 摘要, &值)) {
    *签名 = 签名文本(值);
    // Checked the way an installation checks it: with the public key text alone.
    if (校验发布清单签名(公钥文本(密钥.公钥), 清单文本, *签名) == 签名校验结果::已通过) return true;
  }
  *失败 = {发布输入被拒绝, L"无法用该签名密钥签署发布清单（密钥的两部分不匹配？）。"};
  return false;
}

}  // namespace tallybell
