#include "service/release_import.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "documents/manifest.h"
#include "documents/sha256.h"

namespace tallybell::服务 {
namespace {

bool 读文件(const std::filesystem::path& 路径, std::string* 内容) {
  std::ifstream 文件(路径, std::ios::binary);
  if (!文件) return false;
  std::ostringstream 缓冲;
  缓冲 << 文件.rdbuf();
  *内容 = 缓冲.str();
  return !文件.bad();
}

}  // namespace

bool 签名文本有效(const std::string& 文本) {
  // 64 bytes: 21 whole groups of three and one byte left, so 88 characters ending in "==".
  if (文本.size() != 88 || 文本.compare(86, 2, "==") != 0) return false;
  for (std::size_t i = 0; i < 86; ++i) {
    const char c = 文本[i];
    const bool 字母数字 = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    if (!字母数字 && c != '+' && c != '/') return false;
  }
  return true;
}

bool 读取发布目录(const std::string& 发布目录, const std::string& 基础地址, 发布记录* 发布, std::string* 错误) {
  namespace fs = std::filesystem;
  const fs::path 目录(发布目录);
  std::string 清单文本;
  if (!读文件(目录 / "manifest.json", &清单文本)) {
    *错误 = "cannot read " + (目录 / "manifest.json").string();
    return false;
  }
  发布清单 清单;
  if (!解析发布清单(清单文本, &清单)) {
    *错误 = "manifest.json is not a valid manifest";
    return false;
  }
  const std::string 目录名 = fs::path(发布目录).lexically_normal().filename().empty()
                                 ? fs::path(发布目录).lexically_normal().parent_path().filename().string()
                                 : fs::path(发布目录).lexically_normal().filename().string();
  if (目录名 != 清单.releaseId) {
    *错误 = "the manifest names release " + 清单.releaseId + ", not the directory's " + 目录名;
    return false;
  }
  std::string 基础 = 基础地址;
  while (!基础.empty() && 基础.back() == '/') 基础.pop_back();
  发布记录 结果;
  结果.releaseId = 清单.releaseId;
  结果.manifestUrl = 基础 + "/releases/" + 清单.releaseId + "/manifest.json";
  if (!是HTTPS地址(结果.manifestUrl, 地址形式::服务) && !是内容主机地址(结果.manifestUrl)) {
    *错误 = "the manifest URL " + 结果.manifestUrl + " is neither HTTPS nor the content host";
    return false;
  }
  unsigned char 摘要[SHA256字节数] = {};
  计算数据SHA256(清单文本.data(), 清单文本.size(), 摘要);
  结果.manifestHash = 转小写十六进制(摘要);
  std::string 签名;
  if (fs::exists(目录 / "manifest.json.sig")) {
    if (!读文件(目录 / "manifest.json.sig", &签名)) {
      *错误 = "cannot read manifest.json.sig";
      return false;
    }
    while (!签名.empty() && (签名.back() == '\n' || 签名.back() == '\r')) 签名.pop_back();
    if (!签名文本有效(签名)) {
      *错误 = "manifest.json.sig does not hold the base64 text of a 64-byte signature";
      return false;
    }
    结果.manifestSignature = 签名;
  }
  *发布 = std::move(结果);
  return true;
}

}  // namespace tallybell::服务
