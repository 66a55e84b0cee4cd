#include "documents/manifest_signature.h"

#include <algorithm>
#include <cstddef>

#include "common/base64.h"
#include "documents/sha256.h"

namespace tallybell {
namespace {

// DER SubjectPublicKeyInfo of an uncompressed P-256 point up to the point itself: the
// algorithm id-ecPublicKey with the curve prime256v1, the bit string header and the 0x04
// that marks an uncompressed point.
constexpr unsigned char 公钥前缀[] = {0x30, 0x59, 0x30, 0x13, 0x06, 0x07, 0x2a, 0x86, 0x48, 0xce, 0x3d,
                                     0x02, 0x01, 0x06, 0x08, 0x2a, 0x86, 0x48, 0xce, 0x3d, 0x03, 0x01,
                                     0x07, 0x03, 0x42, 0x00, 0x04};
constexpr std::size_t 最多受信任公钥 = 2;

bool 是分隔符(char 字符) {
  return 字符 == ',' || 字符 == ' ' || 字符 == '\t' || 字符 == '\r' || 字符 == '\n';
}

}  // namespace

bool 解析公钥文本(const std::string& 文本, platform::P256公钥* 公钥) {
  std::vector<unsigned char> 字节;
  const std::size_t 前缀长 = sizeof 公钥前缀;
  if (!Base64解码(文本, &字节) || 字节.size() != 前缀长 + 公钥->size() ||
      !std::equal(公钥前缀, 公钥前缀 + 前缀长, 字节.begin())) {
    return false;
  }
  std::copy(字节.begin() + 前缀长, 字节.end(), 公钥->begin());
  return true;
}

std::string 公钥文本(const platform::P256公钥& 公钥) {
  std::vector<unsigned char> 字节(sizeof 公钥前缀 + 公钥.size());
  std::copy(公钥.begin(), 公钥.end(), std::copy(std::begin(公钥前缀), std::end(公钥前缀), 字节.begin()));
  return Base64编码(字节);
}

bool 解析签名文本(const std::string& 文本, platform::P256签名* 签名) {
  std::vector<unsigned char> 字节;
  if (!Base64解码(文本, &字节) || 字节.size() != 签名->size()) return false;
  std::copy(字节.begin(), 字节.end(), 签名->begin());
  return true;
}

std::string 签名文本(const platform::P256签名& 签名) {
  return Base64编码(std::vector<unsigned char>(签名.begin(), 签名.end()));
}

bool 解析受信任公钥(const std::string& 文本, std::vector<platform::P256公钥>* 公钥) {
  公钥->clear();
  std::size_t 位置 = 0;
  while (位置 < 文本.size()) {
    if (是分隔符(文本[位置])) {
      ++位置;
      continue;
    }
    std::size_t 结尾 = 位置;
    while (结尾 < 文本.size() && !是分隔符(文本[结尾])) ++结尾;
    platform::P256公钥 值;
    if (公钥->size() == 最多受信任公钥 || !解析公钥文本(文本.substr(位置, 结尾 - 位置), &值)) {
      公钥->clear();
      return false;
    }
    公钥->push_back(值);
    位置 = 结尾;
  }
  return true;
}

签名校验结果 校验发布清单签名(const std::string& 受信任公钥文本, const std::string& 清单文本,
                              const std::string& 签名) {
  if (受信任公钥文本.empty()) return 签名校验结果::未要求;
  if (签名.empty()) return 签名校验结果::缺少签名;
  std::vector<platform::P256公钥> 公钥;
  platform::P256签名 值;
  platform::SHA256摘要 摘要;
  if (!解析受信任公钥(受信任公钥文本, &公钥) || 公钥.empty() || !解析签名文本(签名, &值) ||
      !计算数据SHA256(清单文本.data(), 清单文本.size(), 摘要.data())) {
    return 签名校验结果::未通过;
  }
  for (const auto& 键 : 公钥) {
    if (platform::校验P256签名(键, 摘要, 值)) return 签名校验结果::已通过;
  }
  return 签名校验结果::未通过;
}

const wchar_t* 签名校验消息(签名校验结果 结果) {
  switch (结果) {
    case 签名校验结果::未要求:
    case 签名校验结果::已通过:
      return nullptr;
    case 签名校验结果::缺少签名:
      return L"发布清单缺少签名，本安装只接受受信任密钥签名的版本。";
    case 签名校验结果::未通过:
      return L"发布清单签名无效或不是受信任的密钥签署的。";
  }
  return nullptr;
}

std::string 签名文件文本(const std::string& 内容) {
  std::size_t 长度 = 内容.size();
  while (长度 > 0 && 是分隔符(内容[长度 - 1]) && 内容[长度 - 1] != ',') --长度;
  return 内容.substr(0, 长度);
}

}  // namespace tallybell
