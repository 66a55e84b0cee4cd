#include "documents/manifest.h"

#include <cstddef>
#include <set>
#include <utility>

#include "common/failure.h"
#include "documents/json_value.h"
#include "documents/sha256.h"

namespace tallybell {
namespace {

constexpr std::size_t 路径最大字节 = 1024;
constexpr std::size_t 发布标识最大字节 = 128;

bool 是ASCII字母或数字(unsigned char 字节) {
  return (字节 >= 'a' && 字节 <= 'z') || (字节 >= 'A' && 字节 <= 'Z') || (字节 >= '0' && 字节 <= '9');
}

// Windows opens a device, not a file, for these base names in any directory and with any
// extension ("NUL.txt" too), and drops a trailing dot or space from a name, so two
// manifest paths could meet in one file. Both builds refuse such names, so that a manifest
// gives the same result on either. COM and LPT also take the superscript digits 1 to 3.
bool 是Windows保留段(const std::string& 段) {
  if (段.back() == '.' || 段.back() == ' ') return true;
  std::string 主名 = 转ASCII小写(段.substr(0, 段.find('.')));
  while (!主名.empty() && 主名.back() == ' ') 主名.pop_back();
  if (主名 == "con" || 主名 == "nul" || 主名 == "aux" || 主名 == "prn") return true;
  if (主名.compare(0, 3, "com") != 0 && 主名.compare(0, 3, "lpt") != 0) return false;
  const std::string 序号 = 主名.substr(3);
  return (序号.size() == 1 && 序号[0] >= '1' && 序号[0] <= '9') || 序号 == "\xC2\xB9" || 序号 == "\xC2\xB2" ||
         序号 == "\xC2\xB3";
}

// The URL is longer than the prefix and begins with it, ignoring ASCII case.
bool 以协议开头(const std::string& 地址, const std::string& 协议) {
  return 地址.size() > 协议.size() && 转ASCII小写(地址.substr(0, 协议.size())) == 协议;
}

// From 起点 to the first '/', '?' or '#', or to the end.
std::string 取权限部分(const std::string& 地址, std::size_t 起点) {
  const std::size_t 终点 = 地址.find_first_of("/?#", 起点);
  return 地址.substr(起点, 终点 == std::string::npos ? std::string::npos : 终点 - 起点);
}

bool 字节都可打印ASCII(const std::string& 地址) {
  for (const char 字符 : 地址) {
    const auto 字节 = static_cast<unsigned char>(字符);
    if (字节 < 0x21 || 字节 > 0x7E || 字节 == '\\') return false;
  }
  return true;
}

bool 字节都可用于下载(const std::string& 地址) {
  for (const char 字符 : 地址) {
    const auto 字节 = static_cast<unsigned char>(字符);
    if (字节 <= 0x20 || 字节 == '\\') return false;
  }
  return true;
}

bool 发布标识格式有效(const std::string& 标识) {
  if (标识.empty() || 标识.size() > 发布标识最大字节) return false;
  for (const char 字符 : 标识) {
    const auto 字节 = static_cast<unsigned char>(字符);
    if (!是ASCII字母或数字(字节) && 字节 != '-' && 字节 != '.' && 字节 != '_') return false;
  }
  return true;
}

bool 是下载地址(const std::string& 地址) {
  return 是HTTPS地址(地址, 地址形式::下载) || 是内容主机地址(地址);
}

// downloadUrls of one entry: a non-empty array of allowed URLs, none repeating an earlier
// one ignoring ASCII case. The URLs are kept as written.
bool 读取下载地址(const Json值& 条目, std::vector<std::string>* 输出, std::wstring* 错误) {
  const Json值* 数组 = 条目.查找成员("downloadUrls");
  if (数组 == nullptr || !数组->是数组() || 数组->元素().empty()) {
    return 失败(错误, L"文件 downloadUrls 必须是非空数组。");
  }
  std::set<std::string> 已见;
  std::vector<std::string> 地址表;
  for (const Json值& 元素 : 数组->元素()) {
    if (!元素.是字符串() || !是下载地址(元素.文本()) ||
        !已见.insert(转ASCII小写(元素.文本())).second) {
      return 失败(错误, L"downloadUrls 包含无效、非 HTTPS 或不在允许主机内的地址。");
    }
    地址表.push_back(元素.文本());
  }
  *输出 = std::move(地址表);
  return true;
}

// One element of files, every check but the repeat of a path across entries.
bool 读取发布文件(const Json值& 元素, 发布文件* 输出, std::wstring* 错误) {
  if (!元素.是对象()) {
    // No sentence names this case; the caller sees a failure with an empty message
    // rather than whatever an earlier call left behind.
    if (错误 != nullptr) 错误->clear();
    return false;
  }
  发布文件 文件;
  if (!读取非空字符串字段(元素, "path", &文件.path, 错误) ||
      !读取非空字符串字段(元素, "sha256", &文件.sha256, 错误)) {
    return false;
  }
  if (!读取非负整数(元素.查找成员("size"), &文件.size)) {
    return 失败(错误, L"字段缺失、不是整数或小于零：size");
  }
  if (!是规范相对路径(文件.path)) return 失败(错误, L"文件 path 必须是规范的相对路径。");
  if (!是小写SHA256文本(文件.sha256)) {
    return 失败(错误, L"文件 sha256 必须是 64 位小写十六进制。");
  }
  if (!读取下载地址(元素, &文件.downloadUrls, 错误)) return false;
  *输出 = std::move(文件);
  return true;
}

bool 读取文件列表(const Json值& 根, std::vector<发布文件>* 输出, std::wstring* 错误) {
  const Json值* 数组 = 根.查找成员("files");
  if (数组 == nullptr || !数组->是数组() || 数组->元素().empty()) {
    return 失败(错误, L"发布清单 files 必须是非空数组。");
  }
  std::set<std::string> 已见路径;
  std::vector<发布文件> 文件表;
  文件表.reserve(数组->元素().size());
  for (const Json值& 元素 : 数组->元素()) {
    发布文件 文件;
    if (!读取发布文件(元素, &文件, 错误)) return false;
    if (!已见路径.insert(转ASCII小写(文件.path)).second) {
      return 失败(错误, L"发布清单包含重复文件路径。");
    }
    文件表.push_back(std::move(文件));
  }
  *输出 = std::move(文件表);
  return true;
}

}  // namespace

bool 解析发布清单(const std::string& 文本, 发布清单* 输出, std::wstring* 错误) {
  if (输出 == nullptr) return 失败(错误, L"发布清单输出参数不能为空。");
  Json值 根;
  if (!Json值::解析(文本, &根, 错误)) return false;
  if (!根.是对象()) return 失败(错误, L"发布清单根必须是对象。");

  std::uint64_t 格式版本 = 0;
  if (!读取非负整数(根.查找成员("formatVersion"), &格式版本) || 格式版本 != 1) {
    return 失败(错误, L"发布清单 formatVersion 必须为 1。");
  }
  const Json值* 标识 = 根.查找成员("releaseId");
  if (标识 == nullptr || !标识->是字符串() || !发布标识格式有效(标识->文本())) {
    return 失败(错误, L"发布清单 releaseId 格式无效。");
  }
  std::vector<发布文件> 文件表;
  if (!读取文件列表(根, &文件表, 错误)) return false;

  输出->formatVersion = 格式版本;
  输出->releaseId = 标识->文本();
  输出->files = std::move(文件表);
  if (错误 != nullptr) 错误->clear();
  return true;
}

bool 是规范相对路径(const std::string& 路径) {
  if (路径.empty() || 路径.size() > 路径最大字节 || 路径.front() == '/') return false;
  if (路径.find_first_of(std::string("\\:\0", 3)) != std::string::npos) return false;
  std::size_t 起点 = 0;
  for (;;) {
    const std::size_t 终点 = 路径.find('/', 起点);
    const std::string 段 = 路径.substr(起点, 终点 == std::string::npos ? std::string::npos : 终点 - 起点);
    if (段.empty() || 段 == "." || 段 == ".." || 是Windows保留段(段)) return false;
    if (终点 == std::string::npos) return true;
    起点 = 终点 + 1;
  }
}

bool 是HTTPS地址(const std::string& 地址, 地址形式 形式) {
  if (!以协议开头(地址, "https://") || 取权限部分(地址, 8).empty()) return false;
  switch (形式) {
    case 地址形式::下载:
      return 字节都可用于下载(地址);
    case 地址形式::服务:
      return 字节都可打印ASCII(地址);
  }
  return false;
}

bool 是内容主机地址(const std::string& 地址) {
  // An empty host setting must not turn "http:///..." into an allowed address.
  const std::string 内容主机 = 转ASCII小写(TALLYBELL_CONTENT_HOST);
  return !内容主机.empty() && 以协议开头(地址, "http://") &&
         转ASCII小写(取权限部分(地址, 7)) == 内容主机 && 字节都可打印ASCII(地址);
}

std::string 转ASCII小写(std::string 文本) {
  for (char& 字符 : 文本) {
    if (字符 >= 'A' && 字符 <= 'Z') 字符 = static_cast<char>(字符 - 'A' + 'a');
  }
  return 文本;
}

}  // namespace tallybell
