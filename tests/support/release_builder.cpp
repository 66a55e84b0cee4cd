#include "support/release_builder.h"

#include <utility>

#include "documents/json_output.h"
#include "documents/json_value.h"
#include "documents/sha256.h"
#include "support/file_helpers.h"

namespace tallybell::测试 {
namespace {

// The manifest (a download URL per file) and the marker (naming the manifest's digest) list
// the files alike; one builder keeps the two in step.
std::string 发布文档(const std::string& 发布标识, const 发布内容& 文件, const std::string* 清单哈希) {
  Json值 列表 = Json值::数组();
  for (const auto& [路径, 内容] : 文件) {
    Json值 记录 = Json值::对象();
    记录.设置成员("path", Json值::字符串(路径));
    记录.设置成员("sha256", Json值::字符串(测试SHA256(内容)));
    记录.设置成员("size", Json值::无符号整数(内容.size()));
    if (清单哈希 == nullptr) {
      Json值 地址 = Json值::数组();
      地址.追加元素(Json值::字符串("https://downloads.tallybell.example/objects/" + 测试SHA256(内容)));
      记录.设置成员("downloadUrls", std::move(地址));
    }
    列表.追加元素(std::move(记录));
  }
  Json值 根 = Json值::对象();
  根.设置成员("files", std::move(列表));
  根.设置成员("formatVersion", Json值::无符号整数(1));
  if (清单哈希 != nullptr) 根.设置成员("manifestHash", Json值::字符串(*清单哈希));
  根.设置成员("releaseId", Json值::字符串(发布标识));
  std::string 文本;
  序列化JSON(根, &文本);
  return 文本;
}

}  // namespace

std::string 测试SHA256(const std::string& 数据) {
  unsigned char 摘要[SHA256字节数];
  if (!计算数据SHA256(数据.data(), 数据.size(), 摘要)) return {};
  return 转小写十六进制(摘要);
}

std::string 生成发布清单文本(const std::string& 发布标识, const 发布内容& 文件) {
  return 发布文档(发布标识, 文件, nullptr);
}

std::string 生成完成标记文本(const std::string& 发布标识, const std::string& 清单哈希,
                             const 发布内容& 文件) {
  return 发布文档(发布标识, 文件, &清单哈希);
}

std::string 写入发布目录(const std::filesystem::path& 目录, const std::string& 清单文本,
                         const std::string& 发布标识, const 发布内容& 文件, 完成标记 标记) {
  for (const auto& [路径, 内容] : 文件) 写测试文件(目录 / std::filesystem::u8path(路径), 内容);
  写测试文件(目录 / "release.manifest.json", 清单文本);
  const std::string 清单哈希 = 测试SHA256(清单文本);
  if (标记 == 完成标记::写入) 写测试文件(目录 / "complete.json", 生成完成标记文本(发布标识, 清单哈希, 文件));
  return 清单哈希;
}

std::string 写入发布目录(const std::filesystem::path& 目录, const std::string& 发布标识,
                         const 发布内容& 文件, 完成标记 标记) {
  return 写入发布目录(目录, 生成发布清单文本(发布标识, 文件), 发布标识, 文件, 标记);
}

}  // namespace tallybell::测试
