// key generate: a new signing key. The private key goes to a file only its owner can
// read; the public key text goes to "<file>.pub" and to standard output, ready for the
// client's trusted-keys build setting.
#include "platform/ecdsa_p256.h"
#include "platform/file_system.h"
#include "platform/private_file.h"
#include "publish/commands.h"
#include "publish/content_store.h"
#include "publish/publish_codes.h"
#include "publish/signing_key.h"
#include "documents/manifest_signature.h"

namespace tallybell {

std::uint32_t 运行密钥生成命令(const 发布命令行& 命令行) {
  const std::wstring 私钥路径 = 补全输出路径(命令行.单值(L"--out"));
  const std::wstring 公钥路径 = 私钥路径 + 公钥文件后缀;
  for (const auto& 路径 : {私钥路径, 公钥路径}) {
    platform::文件信息 信息;
    if (platform::文件调用().查询(路径, &信息) && 信息.存在) {
      return 报告失败({发布目标已存在, 带名称(L"密钥文件已存在，未改动它", 路径)});
    }
  }
  签名密钥 密钥;
  if (!platform::生成P256密钥(&密钥.私钥, &密钥.公钥)) return 报告失败({发布读写失败, L"无法生成签名密钥。"});
  const std::string 公钥 = 公钥文本(密钥.公钥);
  if (!platform::写入私有新文件(私钥路径, 签名密钥文件文本(密钥))) {
    return 报告失败({发布读写失败, 带名称(L"无法写入签名密钥", 私钥路径)});
  }
  if (写入新文件(公钥路径, 公钥 + "\n") != 新文件结果::已写入) {
    return 报告失败({发布读写失败, 带名称(L"无法写入公钥", 公钥路径)});
  }
  写说明行("signing key written; keep it offline. Public key (also in the .pub file):\n");
  写结果行(公钥 + "\n");
  return 发布成功;
}

}  // namespace tallybell
