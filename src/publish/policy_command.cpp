// policy: a version policy that names a published manifest, with the manifest's hash
// taken from its bytes. The text is parsed back with the core's policy parser before it
// is written, so its messages are the ones the core would give.
#include "common/text.h"
#include "documents/json_output.h"
#include "documents/json_value.h"
#include "documents/manifest.h"
#include "documents/manifest_signature.h"
#include "documents/policy.h"
#include "documents/sha256.h"
#include "publish/commands.h"
#include "publish/publish_codes.h"
#include "storage/release_id.h"
#include "storage/files.h"

namespace tallybell {
namespace {

// Decimal digits only, within 64 bits; the parser decides about 0.
bool 取十进制(const std::wstring& 文本, std::uint64_t* 输出) {
  if (文本.empty() || 文本.size() > 20) return false;
  std::uint64_t 值 = 0;
  for (const wchar_t 字 : 文本) {
    if (字 < L'0' || 字 > L'9') return false;
    const std::uint64_t 位 = static_cast<std::uint64_t>(字 - L'0');
    if (值 > (UINT64_MAX - 位) / 10) return false;
    值 = 值 * 10 + 位;
  }
  *输出 = 值;
  return true;
}

bool 取文本(const 发布命令行& 命令行, const wchar_t* 选项, std::string* 输出, 发布失败* 失败) {
  if (宽转UTF8(命令行.单值(选项), 输出)) return true;
  *失败 = {发布参数无效, 带名称(L"选项的值不是有效的 Unicode", 选项)};
  return false;
}

bool 读清单(const std::wstring& 路径, std::string* 文本, 发布清单* 清单, 发布失败* 失败) {
  if (!读取整个文件(路径, 文本)) {
    *失败 = {发布读写失败, 带名称(L"无法读取发布清单", 路径)};
    return false;
  }
  std::wstring 错误;
  if (!解析发布清单(*文本, 清单, &错误)) {
    *失败 = {发布输入被拒绝, 带名称(L"发布清单未通过更新核心的校验", 错误)};
    return false;
  }
  // The core turns the target into a directory name and gives up on one it cannot use.
  if (!发布标识有效(逐字节加宽(清单->releaseId))) {
    *失败 = {发布输入被拒绝, 带名称(L"发布清单的 releaseId 不能用作目录名", 清单->releaseId)};
    return false;
  }
  return true;
}

// The signature beside the manifest ("<manifest>.sig"), when the release was signed: empty
// when there is none, a failure when it is there but not a signature text.
bool 读签名(const std::wstring& 清单路径, std::string* 签名, 发布失败* 失败) {
  const std::wstring 路径 = 清单路径 + 签名文件后缀;
  std::string 内容;
  platform::P256签名 值;
  签名->clear();
  if (!读取整个文件(路径, &内容)) {
    if (读取失败可以重写(路径)) return true;
    *失败 = {发布读写失败, 带名称(L"无法读取发布清单签名", 路径)};
    return false;
  }
  *签名 = 签名文件文本(内容);
  if (解析签名文本(*签名, &值)) return true;
  *失败 = {发布内容已损坏, 带名称(L"发布清单签名文件不是签名文本", 路径)};
  return false;
}

bool 生成策略(const 发布命令行& 命令行, const 发布清单& 清单, const std::string& 清单哈希, const std::string& 签名,
              std::string* 文本, 发布失败* 失败) {
  std::uint64_t 版本 = 0;
  if (!取十进制(命令行.单值(L"--policy-version"), &版本)) {
    *失败 = {发布参数无效, 带名称(L"--policy-version 须为十进制整数", 命令行.单值(L"--policy-version"))};
    return false;
  }
  std::string 分配标识, 清单地址, 检查时间;
  if (!取文本(命令行, L"--assignment-id", &分配标识, 失败) || !取文本(命令行, L"--manifest-url", &清单地址, 失败) ||
      !取文本(命令行, L"--check-after", &检查时间, 失败)) {
    return false;
  }
  Json值 策略 = Json值::对象();
  策略.设置成员("action", Json值::字符串(策略动作文本(策略动作::update)));
  策略.设置成员("assignmentId", Json值::字符串(分配标识));
  策略.设置成员("checkAfter", Json值::字符串(检查时间));
  策略.设置成员("manifestHash", Json值::字符串(清单哈希));
  if (!签名.empty()) 策略.设置成员("manifestSignature", Json值::字符串(签名));
  策略.设置成员("manifestUrl", Json值::字符串(清单地址));
  策略.设置成员("policyVersion", Json值::无符号整数(版本));
  const auto 结果地址 = 命令行.全部值(L"--result-url");
  if (!结果地址.empty()) {
    Json值 列表 = Json值::数组();
    for (const auto& 地址 : 结果地址) {
      std::string 文本地址;
      if (!宽转UTF8(地址, &文本地址)) {
        *失败 = {发布参数无效, 带名称(L"选项的值不是有效的 Unicode", L"--result-url")};
        return false;
      }
      列表.追加元素(Json值::字符串(std::move(文本地址)));
    }
    策略.设置成员("resultReportUrls", std::move(列表));
  }
  策略.设置成员("targetReleaseId", Json值::字符串(清单.releaseId));
  if (!序列化JSON(策略, 文本)) {
    *失败 = {发布输入被拒绝, L"无法生成版本策略文本。"};
    return false;
  }
  版本策略 解析结果;
  std::wstring 错误;
  if (!解析版本策略(*文本, &解析结果, &错误)) {
    *失败 = {发布输入被拒绝, 带名称(L"版本策略未通过更新核心的校验", 错误)};
    return false;
  }
  return true;
}

}  // namespace

std::uint32_t 运行策略命令(const 发布命令行& 命令行) {
  发布失败 失败;
  std::string 清单文本, 策略文本;
  发布清单 清单;
  if (!读清单(命令行.单值(L"--manifest"), &清单文本, &清单, &失败)) return 报告失败(失败);
  unsigned char 摘要[SHA256字节数];
  if (!计算数据SHA256(清单文本.data(), 清单文本.size(), 摘要)) {
    return 报告失败({发布读写失败, L"无法计算发布清单的 SHA-256。"});
  }
  const std::string 清单哈希 = 转小写十六进制(摘要);
  std::string 签名;
  if (!读签名(命令行.单值(L"--manifest"), &签名, &失败) || !生成策略(命令行, 清单, 清单哈希, 签名, &策略文本, &失败)) {
    return 报告失败(失败);
  }
  const std::wstring 输出 = 补全输出路径(命令行.单值(L"--out"));
  if (!原子写入文件(输出, 策略文本, L"")) return 报告失败({发布读写失败, 带名称(L"无法写入版本策略", 输出)});
  写说明行("policy for release " + 清单.releaseId + ", manifest sha256 " + 清单哈希 +
           (签名.empty() ? ", unsigned\n" : ", signed\n"));
  return 发布成功;
}

}  // namespace tallybell
