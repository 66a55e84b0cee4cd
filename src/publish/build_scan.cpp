#include "publish/build_scan.h"

#include <algorithm>
#include <map>

#include "common/text.h"
#include "documents/manifest.h"
#include "platform/file_system.h"
#include "publish/publish_codes.h"
#include "storage/paths.h"

namespace tallybell {
namespace {

// The application executable the core requires, spelled exactly: offline preparation
// looks for this name on a file system that may tell letter case apart.
constexpr char 可执行文件名[] = "Tallybell.exe";

bool 拒绝(发布失败* 失败, std::uint32_t 代码, std::wstring 消息) {
  *失败 = {代码, std::move(消息)};
  return false;
}

bool 是保留名称(const std::string& 路径) {
  const std::string 小写 = 转ASCII小写(路径);
  return 小写 == "release.manifest.json" || 小写 == "complete.json";
}

bool 扫描目录(const std::wstring& 目录, const std::string& 前缀, std::vector<构建文件>* 输出, 发布失败* 失败) {
  std::vector<platform::目录项> 条目;
  if (!platform::文件调用().枚举目录(目录, &条目)) {
    return 拒绝(失败, 发布读写失败, 带名称(L"无法列出构建目录", 目录));
  }
  for (const auto& 项 : 条目) {
    std::string 名称;
    // The POSIX listing keeps bytes that are not UTF-8 as lone surrogates, which the strict
    // conversion refuses: the manifest could not carry such a name.
    if (!宽转UTF8(项.名称, &名称)) {
      return 拒绝(失败, 发布输入被拒绝, 带名称(L"文件名不是有效的 Unicode", 前缀 + 宽转UTF8宽松(项.名称)));
    }
    const std::string 路径 = 前缀 + 名称;
    const std::wstring 完整 = 连接路径(目录, 项.名称);
    if (项.是链接) return 拒绝(失败, 发布输入被拒绝, 带名称(L"构建目录中不能有链接", 路径));
    // Checked on folders too, which also bounds how deep the walk can go.
    if (!是规范相对路径(路径)) return 拒绝(失败, 发布输入被拒绝, 带名称(L"路径不符合发布清单的路径规则", 路径));
    if (项.是目录) {
      if (!扫描目录(完整, 路径 + "/", 输出, 失败)) return false;
      continue;
    }
    if (前缀.empty() && 是保留名称(路径)) {
      return 拒绝(失败, 发布输入被拒绝, 带名称(L"该文件名留给版本目录自己使用", 路径));
    }
    platform::文件信息 信息;
    if (!platform::文件调用().查询(完整, &信息) || !信息.存在) {
      return 拒绝(失败, 发布读写失败, 带名称(L"无法读取文件属性", 路径));
    }
    if (信息.是链接) return 拒绝(失败, 发布输入被拒绝, 带名称(L"构建目录中不能有链接", 路径));
    输出->push_back({路径, 完整, 信息.大小});
  }
  return true;
}

}  // namespace

bool 扫描构建目录(const std::wstring& 根, std::vector<构建文件>* 输出, 发布失败* 失败) {
  platform::文件信息 信息;
  if (根.empty() || !platform::文件调用().查询(根, &信息) || !信息.存在 || !信息.是目录 || 信息.是链接) {
    return 拒绝(失败, 发布输入被拒绝, 带名称(L"构建目录不存在或不是目录", 根));
  }
  std::vector<构建文件> 文件;
  if (!扫描目录(根, "", &文件, 失败)) return false;
  std::sort(文件.begin(), 文件.end(), [](const 构建文件& 甲, const 构建文件& 乙) { return 甲.path < 乙.path; });
  std::map<std::string, const 构建文件*> 小写路径;
  for (const auto& 项 : 文件) {
    const auto [位置, 新] = 小写路径.emplace(转ASCII小写(项.path), &项);
    if (!新) {
      return 拒绝(失败, 发布输入被拒绝,
                  带名称(L"两个文件的路径只差字母大小写", 位置->second->path + " / " + 项.path));
    }
  }
  const bool 有可执行文件 = std::any_of(文件.begin(), 文件.end(), [](const 构建文件& 项) { return 项.path == 可执行文件名; });
  if (!有可执行文件) return 拒绝(失败, 发布输入被拒绝, 带名称(L"构建目录顶层缺少 Tallybell.exe", 根));
  *输出 = std::move(文件);
  return true;
}

}  // namespace tallybell
