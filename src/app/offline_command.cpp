// --offline-fixture <dir> --prepare-release <releaseId>: prepare a ready-made release.
#include "app/commands.h"
#include "common/codes.h"
#include "common/text.h"
#include "app/result_output.h"
#include "release/offline_preparation.h"
#include "storage/default_roots.h"

namespace tallybell {

std::uint32_t 运行离线准备命令(const 命令行参数& 命令) {
  const auto 夹具 = 命令.值(L"--offline-fixture");
  const auto 发布标识 = 命令.值(L"--prepare-release");
  if (!夹具 || !发布标识) {
    写控制台("错误 3001：离线准备必须同时提供 --offline-fixture 和 --prepare-release。\n");
    return 参数无效;
  }
  默认目录 目录;
  if (!取默认目录(&目录)) {
    写控制台("错误 1001：无法确定默认程序目录。\n");
    return 默认目录不可用;
  }
  离线准备请求 请求;
  请求.fixtureDir = *夹具;
  请求.programRoot = 目录.programRoot;
  请求.stateRoot = 目录.stateRoot;
  请求.releaseId = *发布标识;
  请求.trustedPublicKeys = TALLYBELL_TRUSTED_KEYS;
  if (const auto 值 = 命令.值(L"--program-root")) 请求.programRoot = *值;
  if (const auto 值 = 命令.值(L"--state-root")) 请求.stateRoot = *值;

  std::wstring 消息;  // the sentence stays unprinted; the code line is the outcome
  const std::uint32_t 代码 = 准备离线版本(请求, &消息);
  if (代码 == 成功) {
    写控制台("offline release prepared\n");
  } else {
    写控制台("offline prepare failed code=" + 十进制(代码) + "\n");
  }
  return 代码;
}

}  // namespace tallybell
