// release: a build directory becomes objects and one manifest in a content directory.
// Everything is checked before anything is written: the build is listed and hashed, the
// manifest is built and parsed back with the core's own parser, then the objects are
// stored and the manifest is put in place last, so a manifest never names a missing
// object.
#include <map>
#include <set>

#include "common/text.h"
#include "documents/json_output.h"
#include "documents/json_value.h"
#include "documents/manifest.h"
#include "documents/manifest_signature.h"
#include "documents/sha256.h"
#include "platform/console.h"
#include "publish/build_scan.h"
#include "publish/commands.h"
#include "publish/content_layout.h"
#include "publish/content_store.h"
#include "publish/file_stream.h"
#include "publish/progress_line.h"
#include "publish/publish_codes.h"
#include "publish/signing_key.h"
#include "storage/files.h"

namespace tallybell {
namespace {

struct 已哈希文件 {
  const 构建文件* 来源;
  std::string sha256;
};

bool 取下载基础地址(const 发布命令行& 命令行, std::vector<std::string>* 输出, 发布失败* 失败) {
  std::set<std::string> 已见;
  for (const auto& 地址 : 命令行.全部值(L"--base-url")) {
    std::string 基础;
    if (!规范下载基础地址(地址, &基础, 失败)) return false;
    // The manifest refuses two download URLs of one file that differ only in letter case.
    if (!已见.insert(转ASCII小写(基础)).second) {
      *失败 = {发布输入被拒绝, 带名称(L"下载基础地址重复（不区分大小写）", 地址)};
      return false;
    }
    输出->push_back(std::move(基础));
  }
  return true;
}

bool 哈希全部文件(const std::vector<构建文件>& 文件, std::vector<已哈希文件>* 输出, 发布失败* 失败) {
  std::uint64_t 总字节 = 0;
  for (const auto& 项 : 文件) 总字节 += 项.size;
  进度行 进度("hashing", 总字节, platform::标准错误是终端());
  for (const auto& 项 : 文件) {
    std::string sha256;
    std::uint64_t 字节数 = 0;
    if (流式处理文件(项.完整路径, nullptr, &进度, &sha256, &字节数) != 流结果::成功) {
      *失败 = {发布读写失败, 带名称(L"无法读取构建文件", 项.path)};
      return false;
    }
    if (字节数 != 项.size) {
      *失败 = {发布读写失败, 带名称(L"构建文件在发布期间发生了变化", 项.path)};
      return false;
    }
    输出->push_back({&项, std::move(sha256)});
  }
  return true;
}

bool 生成清单(const std::string& 发布标识, const std::vector<已哈希文件>& 文件, const std::vector<std::string>& 基础地址,
              std::string* 文本, 发布失败* 失败) {
  Json值 列表 = Json值::数组();
  for (const auto& 项 : 文件) {
    Json值 地址 = Json值::数组();
    for (const auto& 基础 : 基础地址) 地址.追加元素(Json值::字符串(对象下载地址(基础, 项.sha256)));
    Json值 条目 = Json值::对象();
    条目.设置成员("downloadUrls", std::move(地址));
    条目.设置成员("path", Json值::字符串(项.来源->path));
    条目.设置成员("sha256", Json值::字符串(项.sha256));
    条目.设置成员("size", Json值::无符号整数(项.来源->size));
    列表.追加元素(std::move(条目));
  }
  Json值 清单 = Json值::对象();
  清单.设置成员("files", std::move(列表));
  清单.设置成员("formatVersion", Json值::无符号整数(1));
  清单.设置成员("releaseId", Json值::字符串(发布标识));
  if (!序列化JSON(清单, 文本)) {
    *失败 = {发布输入被拒绝, L"无法生成发布清单文本。"};
    return false;
  }
  // The core's own parser decides; nothing it would refuse is ever written.
  发布清单 解析结果;
  std::wstring 解析错误;
  if (!解析发布清单(*文本, &解析结果, &解析错误)) {
    *失败 = {发布输入被拒绝, 带名称(L"生成的发布清单未通过更新核心的校验", 解析错误)};
    return false;
  }
  bool 一致 = 解析结果.releaseId == 发布标识 && 解析结果.files.size() == 文件.size();
  for (std::size_t i = 0; 一致 && i < 文件.size(); ++i) {
    一致 = 解析结果.files[i].path == 文件[i].来源->path && 解析结果.files[i].sha256 == 文件[i].sha256 &&
           解析结果.files[i].size == 文件[i].来源->size;
  }
  if (!一致) {
    *失败 = {发布输入被拒绝, L"生成的发布清单与构建内容不一致。"};
    return false;
  }
  return true;
}

struct 存放统计 {
  std::uint64_t 新写入 = 0;
  std::uint64_t 已存在 = 0;
};

bool 存放全部对象(const std::wstring& 对象目录, const std::vector<已哈希文件>& 文件, 存放统计* 统计, 发布失败* 失败) {
  std::set<std::string> 已处理;
  for (const auto& 项 : 文件) {
    if (!已处理.insert(项.sha256).second) continue;
    const std::wstring 对象名 = L"objects/" + 逐字节加宽(项.sha256) + L".object";
    switch (存放对象(对象目录, 项.来源->完整路径, 项.sha256, 项.来源->size)) {
      case 对象存放结果::新写入:
        ++统计->新写入;
        break;
      case 对象存放结果::已存在:
        ++统计->已存在;
        break;
      case 对象存放结果::已损坏:
        *失败 = {发布内容已损坏, 带名称(L"内容目录中已有的对象与其名称不符，未改动它", 对象名)};
        return false;
      case 对象存放结果::源已改变:
        *失败 = {发布读写失败, 带名称(L"构建文件在发布期间发生了变化", 项.来源->path)};
        return false;
      case 对象存放结果::失败:
        *失败 = {发布读写失败, 带名称(L"无法写入对象", 对象名)};
        return false;
    }
  }
  return true;
}

std::uint32_t 执行(const 发布命令行& 命令行) {
  发布失败 失败;
  std::string 发布标识;
  std::vector<std::string> 基础地址;
  std::vector<构建文件> 文件;
  std::vector<已哈希文件> 已哈希;
  std::string 清单;
  // The key is read before anything is written, so a wrong key file costs nothing.
  签名密钥 密钥;
  const std::wstring 密钥路径 = 命令行.单值(L"--signing-key");
  if (!密钥路径.empty() && !读取签名密钥(密钥路径, &密钥, &失败)) return 报告失败(失败);
  if (!检查发布标识(命令行.单值(L"--release-id"), &发布标识, &失败) ||
      !取下载基础地址(命令行, &基础地址, &失败) || !扫描构建目录(命令行.单值(L"--input"), &文件, &失败) ||
      !哈希全部文件(文件, &已哈希, &失败) || !生成清单(发布标识, 已哈希, 基础地址, &清单, &失败)) {
    return 报告失败(失败);
  }
  const std::wstring 内容目录 = 补全输出路径(命令行.单值(L"--out"));
  存放统计 统计;
  if (!存放全部对象(内容对象目录(内容目录), 已哈希, &统计, &失败)) return 报告失败(失败);

  const std::wstring 清单路径 = 内容清单路径(内容目录, 命令行.单值(L"--release-id"));
  switch (写入新文件(清单路径, 清单)) {
    case 新文件结果::已写入:
    case 新文件结果::相同已存在:
      break;
    case 新文件结果::不同已存在:
      return 报告失败({发布目标已存在, 带名称(L"该发布标识已经发布过内容不同的清单，未改动它", 清单路径)});
    case 新文件结果::失败:
      return 报告失败({发布读写失败, 带名称(L"无法写入发布清单", 清单路径)});
  }
  // Signing again (after a key rotation, say) replaces the signature of the same bytes.
  std::string 签名;
  if (!密钥路径.empty() && (!签署清单(密钥, 清单, &签名, &失败) ||
                            !原子写入文件(清单路径 + 签名文件后缀, 签名 + "\n", L""))) {
    if (失败.代码 == 发布成功) 失败 = {发布读写失败, 带名称(L"无法写入发布清单签名", 清单路径 + 签名文件后缀)};
    return 报告失败(失败);
  }
  unsigned char 摘要[SHA256字节数];
  if (!计算数据SHA256(清单.data(), 清单.size(), 摘要)) return 报告失败({发布读写失败, L"无法计算发布清单的 SHA-256。"});
  std::uint64_t 总字节 = 0;
  for (const auto& 项 : 文件) 总字节 += 项.size;
  写说明行("release " + 发布标识 + ": " + 十进制(文件.size()) + " files, " + 十进制(总字节) + " bytes, " +
           十进制(统计.新写入) + " objects written, " + 十进制(统计.已存在) + " already present\n");
  写结果行(转小写十六进制(摘要) + "\n");
  return 发布成功;
}

}  // namespace

std::uint32_t 运行发布命令(const 发布命令行& 命令行) { return 执行(命令行); }

}  // namespace tallybell
