// fixture: an offline fixture directory for --offline-fixture, built from published
// content. The policy must name exactly the manifest the content holds; every object is
// verified before it is copied and every copy after. With --ready-made the fixture also
// gets releases/<id>/ as offline preparation copies it, checked with the core's own
// release directory verification. The fixture is built beside its final place and
// appears there with one rename.
#include <set>

#include "common/text.h"
#include "documents/manifest.h"
#include "documents/manifest_signature.h"
#include "documents/policy.h"
#include "documents/sha256.h"
#include "download/object_cache.h"
#include "platform/file_system.h"
#include "publish/commands.h"
#include "publish/content_layout.h"
#include "publish/content_store.h"
#include "publish/publish_codes.h"
#include "release/assembly_files.h"
#include "release/completion_marker.h"
#include "release/directory_tree.h"
#include "release/verification.h"
#include "storage/files.h"
#include "storage/paths.h"

namespace tallybell {
namespace {

using platform::文件调用;

struct 夹具输入 {
  std::wstring 内容目录;
  std::wstring 发布标识;
  std::string 清单文本;
  std::string 清单哈希;
  发布清单 清单;
  std::string 策略文本;
};

bool 读输入(const 发布命令行& 命令行, 夹具输入* 输入, 发布失败* 失败) {
  std::string 标识;
  输入->内容目录 = 命令行.单值(L"--content");
  输入->发布标识 = 命令行.单值(L"--release-id");
  if (!检查发布标识(输入->发布标识, &标识, 失败)) return false;
  const std::wstring 清单路径 = 内容清单路径(输入->内容目录, 输入->发布标识);
  std::wstring 错误;
  if (!读取整个文件(清单路径, &输入->清单文本)) {
    *失败 = {发布读写失败, 带名称(L"无法读取发布清单", 清单路径)};
    return false;
  }
  if (!解析发布清单(输入->清单文本, &输入->清单, &错误) || 输入->清单.releaseId != 标识) {
    *失败 = {发布内容已损坏, 带名称(L"内容目录中的发布清单无效或不属于该发布", 清单路径)};
    return false;
  }
  unsigned char 摘要[SHA256字节数];
  if (!计算数据SHA256(输入->清单文本.data(), 输入->清单文本.size(), 摘要)) {
    *失败 = {发布读写失败, L"无法计算发布清单的 SHA-256。"};
    return false;
  }
  输入->清单哈希 = 转小写十六进制(摘要);

  const std::wstring 策略路径 = 命令行.单值(L"--policy");
  版本策略 策略;
  if (!读取整个文件(策略路径, &输入->策略文本)) {
    *失败 = {发布读写失败, 带名称(L"无法读取版本策略", 策略路径)};
    return false;
  }
  if (!解析版本策略(输入->策略文本, &策略, &错误)) {
    *失败 = {发布输入被拒绝, 带名称(L"版本策略未通过更新核心的校验", 错误)};
    return false;
  }
  if (策略.targetReleaseId != 标识) {
    *失败 = {发布输入被拒绝, 带名称(L"版本策略的 targetReleaseId 不是该发布", 策略.targetReleaseId)};
    return false;
  }
  if (策略.manifestHash != 输入->清单哈希) {
    *失败 = {发布输入被拒绝, 带名称(L"版本策略的 manifestHash 与内容目录中的清单不符", 策略路径)};
    return false;
  }
  return true;
}

bool 写文档(const std::wstring& 路径, const std::string& 文本, 发布失败* 失败) {
  if (写入新文件(路径, 文本) == 新文件结果::已写入) return true;
  *失败 = {发布读写失败, 带名称(L"无法写入夹具文件", 路径)};
  return false;
}

// Copies every object the manifest names, verified at the source and after the copy.
bool 复制对象(const 夹具输入& 输入, const std::wstring& 夹具, 发布失败* 失败) {
  const std::wstring 源目录 = 内容对象目录(输入.内容目录);
  const std::wstring 目标目录 = 内容对象目录(夹具);
  std::set<std::string> 已复制;
  for (const auto& 条目 : 输入.清单.files) {
    if (!已复制.insert(条目.sha256).second) continue;
    const std::wstring 源 = 缓存对象路径(源目录, 条目.sha256);
    if (!缓存对象有效(源, 条目.sha256, 条目.size)) {
      *失败 = {发布内容已损坏, 带名称(L"内容目录中的对象缺失或已损坏", 源)};
      return false;
    }
    if (!复制并校验(源, 缓存对象路径(目标目录, 条目.sha256), 条目)) {
      *失败 = {发布读写失败, 带名称(L"无法复制对象", 源)};
      return false;
    }
  }
  return true;
}

// releases/<id>/ exactly as a committed release: the manifest, the files and the marker.
bool 写现成版本(const 夹具输入& 输入, const std::wstring& 夹具, 发布失败* 失败) {
  const std::wstring 版本目录 = 发布目录(夹具, 输入.发布标识);
  const std::wstring 对象目录 = 内容对象目录(夹具);
  if (!写文档(连接路径(版本目录, 发布清单文件名), 输入.清单文本, 失败)) return false;
  for (const auto& 条目 : 输入.清单.files) {
    const std::wstring 相对路径 = 转换发布文件路径(条目.path);
    if (相对路径.empty() || !复制并校验(缓存对象路径(对象目录, 条目.sha256), 连接路径(版本目录, 相对路径), 条目)) {
      *失败 = {发布读写失败, 带名称(L"无法写入现成版本的文件", 条目.path)};
      return false;
    }
  }
  // A signed release keeps its signature beside its manifest, where offline preparation
  // looks for it.
  std::string 签名;
  const std::wstring 签名源 = 内容清单路径(输入.内容目录, 输入.发布标识) + 签名文件后缀;
  if (读取整个文件(签名源, &签名) &&
      !写文档(连接路径(版本目录, std::wstring(发布清单文件名) + 签名文件后缀), 签名, 失败)) {
    return false;
  }
  const std::string 标记 = 完成标记文本(输入.清单, 输入.清单哈希);
  if (标记.empty() || !写文档(连接路径(版本目录, 完成标记文件名), 标记, 失败)) return false;
  std::wstring 错误;
  if (!校验发布目录(版本目录, 输入.清单, 输入.清单哈希, &错误)) {
    *失败 = {发布读写失败, 带名称(L"现成版本目录未通过更新核心的校验", 错误)};
    return false;
  }
  return true;
}

}  // namespace

std::uint32_t 运行夹具命令(const 发布命令行& 命令行) {
  发布失败 失败;
  夹具输入 输入;
  if (!读输入(命令行, &输入, &失败)) return 报告失败(失败);
  const std::wstring 输出 = 补全输出路径(命令行.单值(L"--out"));
  platform::文件信息 信息;
  文件调用().查询(输出, &信息);
  if (信息.存在) {
    return 报告失败({发布目标已存在, 带名称(L"输出目录已存在，未改动它", 输出)});
  }
  const std::wstring 暂存 = 临时文件名(输出);
  // The one manifest a fixture holds answers every manifest request, whatever URL the
  // policy names.
  const bool 成功 = 创建目录树(暂存) && 写文档(连接路径(暂存, L"policy.json"), 输入.策略文本, &失败) &&
                    写文档(连接路径(暂存, L"manifest.json"), 输入.清单文本, &失败) && 复制对象(输入, 暂存, &失败) &&
                    (!命令行.有标志(L"--ready-made") || 写现成版本(输入, 暂存, &失败));
  if (!成功) {
    删除目录树(暂存);
    if (失败.代码 == 发布成功) 失败 = {发布读写失败, 带名称(L"无法创建夹具目录", 暂存)};
    return 报告失败(失败);
  }
  if (!创建目录树(父目录(输出)) || !文件调用().移动不替换(暂存, 输出)) {
    删除目录树(暂存);
    return 报告失败({发布读写失败, 带名称(L"无法把夹具目录移到位", 输出)});
  }
  写说明行("fixture for release " + 输入.清单.releaseId + ": " + 十进制(输入.清单.files.size()) + " files\n");
  return 发布成功;
}

}  // namespace tallybell
