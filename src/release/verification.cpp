#include "release/verification.h"

#include <cstddef>

#include "common/failure.h"
#include "common/text.h"
#include "documents/json_value.h"
#include "documents/sha256.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "storage/files.h"
#include "storage/paths.h"

namespace tallybell {
namespace {

bool 成员等于(const Json值& 对象, const char* 名称, const std::string& 期望) {
  const Json值* 成员 = 对象.查找成员(名称);
  return 成员 != nullptr && 成员->是字符串() && 成员->文本() == 期望;
}

}  // namespace

bool 发布文件路径可信(const std::wstring& 目录, const std::wstring& 相对路径) {
  if (!是真实目录(目录)) return false;
  // The attribute query follows links in the middle of a path, so each folder on the way
  // is looked at on its own: a linked folder would let outside files pass for release files.
  for (std::size_t 位置 = 相对路径.find(platform::路径分隔符); 位置 != std::wstring::npos;
       位置 = 相对路径.find(platform::路径分隔符, 位置 + 1)) {
    if (!是真实目录(连接路径(目录, 相对路径.substr(0, 位置)))) return false;
  }
  return true;
}

bool 校验发布清单哈希(const std::string& 文本, const std::string& 期望哈希, std::wstring* 错误) {
  if (!是小写SHA256文本(期望哈希)) return 失败(错误, L"发布清单哈希无效。");
  unsigned char 摘要[SHA256字节数];
  if (!计算数据SHA256(文本.data(), 文本.size(), 摘要) || 转小写十六进制(摘要) != 期望哈希) {
    return 失败(错误, L"发布清单内容已损坏。");
  }
  return 清空并成功(错误);
}

bool 校验发布文件(const std::wstring& 路径, const 发布文件& 条目, std::wstring* 错误) {
  platform::文件信息 信息;
  // The query does not follow links; a link in place of the file is not the file, even
  // when its target has the right content, because that target may change at any time.
  if (!platform::文件调用().查询(路径, &信息) || !信息.存在 || 信息.是目录 || 信息.是链接) {
    return 失败(错误, L"发布文件不存在。");
  }
  // Compared first so that a truncated or oversized file fails without being read.
  if (信息.大小 != 条目.size) return 失败(错误, L"发布文件大小不正确。");
  unsigned char 摘要[SHA256字节数];
  if (!计算文件SHA256(路径, 摘要) || 转小写十六进制(摘要) != 条目.sha256) {
    return 失败(错误, L"发布文件内容已损坏。");
  }
  return 清空并成功(错误);
}

bool 完成标记匹配(const std::wstring& 路径, const std::string& 期望发布标识,
                  const std::string& 期望哈希) {
  std::string 文本;
  Json值 标记;
  return 读取整个文件(路径, &文本) && Json值::解析(文本, &标记) && 标记.是对象() &&
         成员等于(标记, "releaseId", 期望发布标识) && 成员等于(标记, "manifestHash", 期望哈希);
}

std::wstring 转换发布文件路径(const std::string& 清单路径) {
  std::wstring 结果;
  if (!UTF8转宽(清单路径, &结果)) return {};
  for (wchar_t& 字符 : 结果) {
    if (字符 == L'/') 字符 = platform::路径分隔符;
  }
  return 结果;
}

bool 校验发布目录(const std::wstring& 目录, const 发布清单& 清单, const std::string& 期望哈希,
                  std::wstring* 错误) {
  // The stored manifest is read before the expected hash is examined, so a directory
  // without one fails the same way whatever the caller passes.
  std::string 清单文本;
  const std::wstring 清单路径 = 连接路径(目录, 发布清单文件名);
  if (!是真实目录(目录) || !是真实文件(清单路径) || !读取整个文件(清单路径, &清单文本)) return false;
  // The steps report into a message of their own, so that one step's success does not
  // clear the caller's message before a later failure that must leave it unchanged.
  std::wstring 步骤错误;
  if (!校验发布清单哈希(清单文本, 期望哈希, &步骤错误)) return 失败(错误, 步骤错误.c_str());
  const std::wstring 标记路径 = 连接路径(目录, 完成标记文件名);
  if (!是真实文件(标记路径) || !完成标记匹配(标记路径, 清单.releaseId, 期望哈希)) {
    return 失败(错误, L"版本完成标记缺失或损坏。");
  }
  for (const 发布文件& 文件 : 清单.files) {
    const std::wstring 相对路径 = 转换发布文件路径(文件.path);
    if (相对路径.empty()) return false;
    if (!发布文件路径可信(目录, 相对路径)) return 失败(错误, L"发布文件不存在。");
    if (!校验发布文件(连接路径(目录, 相对路径), 文件, &步骤错误)) {
      return 失败(错误, 步骤错误.c_str());
    }
  }
  return 清空并成功(错误);
}

bool 发布目录可用(const std::wstring& 目录) {
  std::string 清单文本;
  发布清单 清单;
  unsigned char 摘要[SHA256字节数];
  return 读取整个文件(连接路径(目录, 发布清单文件名), &清单文本) &&
         解析发布清单(清单文本, &清单) &&
         计算数据SHA256(清单文本.data(), 清单文本.size(), 摘要) &&
         校验发布目录(目录, 清单, 转小写十六进制(摘要));
}

}  // namespace tallybell
