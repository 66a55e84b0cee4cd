#include "publish/publish_main.h"

#include "publish/commands.h"
#include "publish/options.h"
#include "publish/publish_codes.h"
#include "publish/publish_output.h"

namespace tallybell {
namespace {

constexpr char 帮助文本[] =
    "tallybell-publish: turns a build directory into update content for the Tallybell update core\n"
    "\n"
    "Commands:\n"
    "  key generate --out <file>\n"
    "      Writes a new ECDSA P-256 signing key to <file> (readable by its owner only) and its\n"
    "      public key text to <file>.pub and standard output; that text goes into the client's\n"
    "      TALLYBELL_TRUSTED_KEYS build setting. Keep <file> offline.\n"
    "  release --input <build dir> --release-id <id> --base-url <url> [--base-url <url> ...] --out <content dir>\n"
    "          [--signing-key <file>]\n"
    "      Hashes every file of the build, stores each distinct content once as\n"
    "      objects/<sha256>.object (objects already present are verified, never rewritten),\n"
    "      writes releases/<id>/manifest.json with one download URL per base URL\n"
    "      (<base>/objects/<sha256>.object) and prints the manifest's SHA-256. With --signing-key\n"
    "      it also writes the manifest's signature to releases/<id>/manifest.json.sig.\n"
    "  policy --manifest <file> --manifest-url <url> --policy-version <n> --assignment-id <text>\n"
    "         --check-after <time> [--result-url <url> ...] --out <file>\n"
    "      Writes a version policy for the manifest's release, with manifestHash taken from\n"
    "      the manifest's bytes, and manifestSignature from <file>.sig when that file exists.\n"
    "  fixture --content <content dir> --release-id <id> --policy <file> --out <dir> [--ready-made]\n"
    "      Lays out an offline fixture for --offline-fixture: policy.json, manifest.json and\n"
    "      objects/; with --ready-made also releases/<id>/ (the files, release.manifest.json and\n"
    "      complete.json, and release.manifest.json.sig when the release is signed) for\n"
    "      --prepare-release. <dir> must not exist yet.\n"
    "  verify --content <content dir>\n"
    "      Re-hashes every object and checks every manifest; prints one error line per problem.\n"
    "\n"
    "Everything written is first checked with the update core's own parsers and rules. Results\n"
    "go to standard output, messages to standard error; a progress line appears on standard\n"
    "error while hashing when it is a terminal.\n"
    "\n"
    "Exit codes:\n"
    "  0  success (also --help and --version)\n"
    "  2  invalid arguments: unknown command or option, repeated or missing option or value\n"
    "  3  refused input: a path that is not canonical, two paths equal ignoring ASCII case, a\n"
    "     link in the build, no top-level Tallybell.exe, a file named release.manifest.json or\n"
    "     complete.json at the top, a release id outside the rules, a URL or policy value the\n"
    "     core refuses, a policy that does not name the manifest\n"
    "  4  a file could not be read, written or moved, or changed while it was published\n"
    "  5  damaged content: an object that does not match its name, a missing object, an\n"
    "     invalid manifest (verify reports every one)\n"
    "  6  the release id already has a different manifest, or the fixture directory or key\n"
    "     file exists\n";

constexpr char 版本行[] = "tallybell-publish " TALLYBELL_VERSION_TEXT "\n";

}  // namespace

std::uint32_t 发布工具入口(const std::vector<std::wstring>& 参数) {
  发布命令行 命令行;
  std::wstring 错误;
  if (!解析发布命令行(参数.empty() ? std::vector<std::wstring>{}
                                    : std::vector<std::wstring>(参数.begin() + 1, 参数.end()),
                      &命令行, &错误)) {
    报告失败({发布参数无效, 错误});
    写说明行("see tallybell-publish --help\n");
    return 发布参数无效;
  }
  if (命令行.命令 == L"help") {
    写结果行(帮助文本);
    return 发布成功;
  }
  if (命令行.命令 == L"version") {
    写结果行(版本行);
    return 发布成功;
  }
  if (命令行.命令 == L"release") return 运行发布命令(命令行);
  if (命令行.命令 == L"policy") return 运行策略命令(命令行);
  if (命令行.命令 == L"fixture") return 运行夹具命令(命令行);
  if (命令行.命令 == L"key generate") return 运行密钥生成命令(命令行);
  return 运行校验命令(命令行);
}

}  // namespace tallybell
