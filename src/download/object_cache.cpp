#include "download/object_cache.h"

#include "common/text.h"
#include "documents/sha256.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "storage/paths.h"

namespace tallybell {
namespace {

void 设置错误(std::wstring* 错误, const wchar_t* 消息) {
  if (错误 != nullptr) *错误 = 消息;
}

void 清除错误(std::wstring* 错误) {
  if (错误 != nullptr) 错误->clear();
}

}  // namespace

bool 对象哈希格式有效(const std::string& sha256) {
  if (sha256.size() != 64) return false;
  for (const char 字符 : sha256) {
    if (!((字符 >= '0' && 字符 <= '9') || (字符 >= 'a' && 字符 <= 'f'))) return false;
  }
  return true;
}

std::wstring 缓存对象路径(const std::wstring& objectDirectory, const std::string& sha256) {
  return 连接路径(objectDirectory, 逐字节加宽(sha256) + L".object");
}

bool 缓存对象有效(const std::wstring& 路径, const std::string& sha256, std::uint64_t 大小) {
  platform::文件信息 信息;
  // A link could make the cache serve a file from anywhere, and copies refuse links anyway.
  if (!platform::文件调用().查询(路径, &信息) || !信息.存在 || 信息.是目录 || 信息.是链接 ||
      信息.大小 != 大小) {
    return false;
  }
  unsigned char 摘要[SHA256字节数];
  return 计算文件SHA256(路径, 摘要) && 转小写十六进制(摘要) == sha256;
}

void 隔离缓存对象(const std::wstring& 路径) {
  const std::wstring 隔离路径 = 路径 + L".corrupt-" + 十进制宽(platform::进程标识()) + L"-" +
                                十进制宽(platform::毫秒计时());
  platform::文件调用().移动不替换(路径, 隔离路径);
}

bool 缓存查找(const std::wstring& objectDirectory, const std::string& sha256, std::uint64_t size,
             std::wstring* objectPath, std::wstring* error) {
  if (objectPath == nullptr || objectDirectory.empty() || !对象哈希格式有效(sha256)) {
    设置错误(error, L"缓存查找参数无效。");
    return false;
  }
  objectPath->clear();
  const std::wstring 路径 = 缓存对象路径(objectDirectory, sha256);
  platform::文件信息 信息;
  if (!platform::文件调用().查询(路径, &信息) || !信息.存在) {
    清除错误(error);
    return false;
  }
  if (缓存对象有效(路径, sha256, size)) {
    *objectPath = 路径;
    清除错误(error);
    return true;
  }
  if (platform::文件调用().查询(路径, &信息) && 信息.存在) 隔离缓存对象(路径);
  设置错误(error, L"缓存对象校验失败，已隔离。");
  return false;
}

}  // namespace tallybell
