// verify: re-hashes every object of a content directory and checks every manifest in it,
// reporting each problem on its own line. It only reads.
#include <map>

#include "common/text.h"
#include "documents/manifest.h"
#include "documents/sha256.h"
#include "download/object_cache.h"
#include "platform/file_system.h"
#include "publish/commands.h"
#include "publish/content_layout.h"
#include "publish/publish_codes.h"
#include "storage/files.h"
#include "storage/paths.h"
#include "storage/release_id.h"

namespace tallybell {
namespace {

using platform::文件调用;

constexpr wchar_t 对象后缀[] = L".object";

class 校验报告 {
 public:
  void 问题(std::wstring 消息) {
    ++问题数_;
    报告失败({发布内容已损坏, std::move(消息)});
  }
  std::uint64_t 问题数() const { return 问题数_; }

 private:
  std::uint64_t 问题数_ = 0;
};

// sha256 → size of every object whose content matches its name.
using 对象表 = std::map<std::string, std::uint64_t>;

bool 取对象名哈希(const std::wstring& 名称, std::string* 哈希) {
  const std::size_t 后缀长 = sizeof 对象后缀 / sizeof 对象后缀[0] - 1;
  if (名称.size() != 64 + 后缀长 || 名称.compare(64, 后缀长, 对象后缀) != 0) return false;
  std::string 候选;
  if (!宽转UTF8(名称.substr(0, 64), &候选) || !对象哈希格式有效(候选)) return false;
  *哈希 = std::move(候选);
  return true;
}

void 校验对象(const std::wstring& 对象目录, 对象表* 有效对象, 校验报告* 报告) {
  std::vector<platform::目录项> 条目;
  if (!文件调用().枚举目录(对象目录, &条目)) {
    报告->问题(带名称(L"无法列出对象目录", 对象目录));
    return;
  }
  for (const auto& 项 : 条目) {
    const std::wstring 名称 = L"objects/" + 项.名称;
    std::string 哈希;
    if (项.是目录 || 项.是链接 || !取对象名哈希(项.名称, &哈希)) {
      报告->问题(带名称(L"对象目录中有不是对象的条目", 名称));
      continue;
    }
    const std::wstring 路径 = 连接路径(对象目录, 项.名称);
    platform::文件信息 信息;
    unsigned char 摘要[SHA256字节数];
    if (!文件调用().查询(路径, &信息) || !计算文件SHA256(路径, 摘要)) {
      报告->问题(带名称(L"无法读取对象", 名称));
    } else if (转小写十六进制(摘要) != 哈希) {
      报告->问题(带名称(L"对象内容与其名称不符", 名称));
    } else {
      (*有效对象)[哈希] = 信息.大小;
    }
  }
}

void 校验清单(const std::wstring& 版本目录, const std::wstring& 标识, const 对象表& 有效对象, 校验报告* 报告) {
  const std::wstring 清单路径 = 连接路径(版本目录, L"manifest.json");
  const std::wstring 名称 = L"releases/" + 标识 + L"/manifest.json";
  std::string 文本;
  发布清单 清单;
  std::wstring 错误;
  if (!读取整个文件(清单路径, &文本)) return 报告->问题(带名称(L"无法读取发布清单", 名称));
  if (!解析发布清单(文本, &清单, &错误)) return 报告->问题(带名称(L"发布清单未通过更新核心的校验", 名称 + L"：" + 错误));
  if (!发布标识有效(标识) || 逐字节加宽(清单.releaseId) != 标识) {
    return 报告->问题(带名称(L"发布清单的 releaseId 与其目录名不同", 名称));
  }
  std::uint64_t 缺失 = 0;
  for (const auto& 条目 : 清单.files) {
    const auto 位置 = 有效对象.find(条目.sha256);
    if (位置 == 有效对象.end() || 位置->second != 条目.size) {
      ++缺失;
      报告->问题(带名称(L"发布清单列出的文件没有完好的对象", 名称 + L"：" + UTF8转宽宽松(条目.path)));
    }
  }
  unsigned char 摘要[SHA256字节数];
  if (!计算数据SHA256(文本.data(), 文本.size(), 摘要)) return 报告->问题(带名称(L"无法计算发布清单的 SHA-256", 名称));
  写结果行("release " + 清单.releaseId + " manifest sha256 " + 转小写十六进制(摘要) + ", " + 十进制(清单.files.size()) +
           " files" + (缺失 == 0 ? "" : ", " + 十进制(缺失) + " without an intact object") + "\n");
}

}  // namespace

std::uint32_t 运行校验命令(const 发布命令行& 命令行) {
  const std::wstring 内容目录 = 命令行.单值(L"--content");
  platform::文件信息 信息;
  if (!文件调用().查询(内容目录, &信息) || !信息.是目录) {
    return 报告失败({发布输入被拒绝, 带名称(L"内容目录不存在或不是目录", 内容目录)});
  }
  校验报告 报告;
  对象表 有效对象;
  校验对象(内容对象目录(内容目录), &有效对象, &报告);
  const std::wstring 版本根 = 发布目录集(内容目录);
  std::vector<platform::目录项> 版本;
  if (!文件调用().枚举目录(版本根, &版本)) 报告.问题(带名称(L"无法列出发布目录", 版本根));
  std::uint64_t 清单数 = 0;
  for (const auto& 项 : 版本) {
    if (!项.是目录 || 项.是链接) {
      报告.问题(带名称(L"releases 中有不是目录的条目", 项.名称));
      continue;
    }
    ++清单数;
    校验清单(连接路径(版本根, 项.名称), 项.名称, 有效对象, &报告);
  }
  写结果行("verified " + 十进制(有效对象.size()) + " objects and " + 十进制(清单数) + " manifests: " +
           (报告.问题数() == 0 ? std::string("no problems") : 十进制(报告.问题数()) + " problems") + "\n");
  return 报告.问题数() == 0 ? 发布成功 : 发布内容已损坏;
}

}  // namespace tallybell
