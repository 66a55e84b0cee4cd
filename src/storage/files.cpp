#include "storage/files.h"

#include <algorithm>
#include <atomic>

#include "common/text.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "storage/paths.h"

namespace tallybell {
namespace {

constexpr std::size_t 块字节 = 1048576;

using platform::文件调用;

bool 存在(const std::wstring& 路径, platform::文件信息* 信息) {
  return 文件调用().查询(路径, 信息) && 信息->存在;
}

// Writes every byte in chunks of at most 1 MiB; a short write is a failure because the
// file would otherwise be silently incomplete.
bool 写入全部(const platform::文件& 输出, const std::string& 内容) {
  std::size_t 位置 = 0;
  while (位置 < 内容.size()) {
    const std::size_t 长度 = std::min(块字节, 内容.size() - 位置);
    std::size_t 已写 = 0;
    if (!文件调用().写入(输出.get(), 内容.data() + 位置, 长度, &已写) || 已写 != 长度) return false;
    位置 += 长度;
  }
  return true;
}

// Creates the temporary file and fills it durably; on failure nothing is left behind.
bool 写临时文件(const std::wstring& 临时, const std::string& 内容) {
  platform::文件 输出;
  if (!输出.打开(临时, platform::打开模式::独占新建写入)) return false;
  const bool 成功 = 写入全部(输出, 内容) && 文件调用().刷新(输出.get());
  输出.重置();
  if (!成功) 文件调用().删除文件(临时);
  return 成功;
}

bool 移入目标(const std::wstring& 目标, const std::wstring& 临时, const std::wstring& 备份) {
  platform::文件信息 信息;
  if (!存在(目标, &信息) || 信息.是目录) return 文件调用().移动不替换(临时, 目标);
  if (文件调用().替换并备份(目标, 临时, 备份)) return true;
  if (备份.empty()) return false;
  // The backup must hold the old content before the target changes; an existing backup
  // is never overwritten by this fallback.
  return 文件调用().复制文件不覆盖(目标, 备份) && 文件调用().移动并替换(临时, 目标);
}

}  // namespace

std::wstring 临时文件名(const std::wstring& 目标) {
  static std::atomic<std::uint32_t> 计数器{0};
  const std::uint32_t 序号 = ++计数器;
  // The counter is printed as a signed 32-bit number, so it turns negative after wrapping.
  const std::int32_t 有符号序号 = static_cast<std::int32_t>(序号);
  std::wstring 序号文本 = 有符号序号 < 0
                              ? L"-" + 十进制宽(static_cast<std::uint64_t>(-static_cast<std::int64_t>(有符号序号)))
                              : 十进制宽(序号);
  return 目标 + L".tmp-" + 十进制宽(platform::进程标识()) + L"-" + 十进制宽(platform::线程标识()) +
         L"-" + 十进制宽(static_cast<std::uint32_t>(platform::毫秒计时())) + L"-" + 序号文本;
}

bool 确认不存在(const std::wstring& 路径) {
  platform::文件信息 信息;
  return !platform::文件调用().查询(路径, &信息) && 信息.不存在;
}

bool 读取失败可以重写(const std::wstring& 路径) {
  platform::文件信息 信息;
  if (!platform::文件调用().查询(路径, &信息)) {
    return 信息.不存在;
  }
  return 信息.是目录 || 信息.是链接 || 信息.大小 > 整读上限字节;
}

bool 读取整个文件(const std::wstring& 路径, std::string* 输出) {
  platform::文件 输入;
  if (!输入.打开(路径, platform::打开模式::读取已有)) return false;
  std::uint64_t 大小 = 0;
  if (!文件调用().取大小(输入.get(), &大小) || 大小 > 整读上限字节) return false;
  std::string 内容(static_cast<std::size_t>(大小), '\0');
  std::size_t 位置 = 0;
  while (位置 < 内容.size()) {
    std::size_t 已读 = 0;
    const std::size_t 请求 = std::min(块字节, 内容.size() - 位置);
    if (!文件调用().读取(输入.get(), 内容.data() + 位置, 请求, &已读) || 已读 == 0) return false;
    位置 += 已读;
  }
  *输出 = std::move(内容);
  return true;
}

bool 是真实目录(const std::wstring& 路径) {
  platform::文件信息 信息;
  return 存在(路径, &信息) && 信息.是目录 && !信息.是链接;
}

bool 是真实文件(const std::wstring& 路径) {
  platform::文件信息 信息;
  return 存在(路径, &信息) && !信息.是目录 && !信息.是链接;
}

bool 创建目录树(const std::wstring& 路径) {
  if (路径.empty()) return false;
  platform::文件信息 信息;
  if (存在(路径, &信息)) return 信息.是目录;
  // A trailing separator names the same folder; its parent lies above it.
  std::wstring 去尾 = 路径;
  while (去尾.size() > 1 && (去尾.back() == L'/' || 去尾.back() == L'\\')) 去尾.pop_back();
  const std::wstring 上级 = 父目录(去尾);
  if (!上级.empty() && !platform::是卷根(上级) && !创建目录树(上级)) return false;
  bool 已存在 = false;
  if (文件调用().创建目录(路径, &已存在)) return true;
  // Another process may have created it meanwhile; only a directory will do.
  return 已存在 && 存在(路径, &信息) && 信息.是目录;
}

bool 原子写入文件(const std::wstring& 目标, const std::string& 内容, const std::wstring& 备份) {
  const std::wstring 上级 = 父目录(目标);
  if (上级.empty() || !创建目录树(上级)) return false;
  const std::wstring 临时 = 临时文件名(目标);
  if (!写临时文件(临时, 内容)) return false;
  if (移入目标(目标, 临时, 备份)) return true;
  文件调用().删除文件(临时);
  return false;
}

}  // namespace tallybell
