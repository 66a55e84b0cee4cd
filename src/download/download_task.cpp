#include "download/download_task.h"

#include <limits>

#include "common/failure.h"
#include "common/text.h"
#include "documents/sha256.h"
#include "download/download_attempt.h"
#include "download/object_cache.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/named_mutex.h"
#include "platform/named_semaphore.h"
#include "storage/files.h"
#include "storage/paths.h"
#include "transport/download_url.h"

namespace tallybell {
namespace {

using platform::文件调用;

bool 参数有效(const 下载对象配置& 配置, const 下载传输* 传输, const 下载任务结果* 结果) {
  return 传输 != nullptr && 结果 != nullptr && !配置.objectDirectory.empty() &&
         对象哈希格式有效(配置.sha256) && !配置.downloadUrls.empty() && 配置.totalTimeoutMs != 0;
}

下载文件路径 取文件路径(const 下载对象配置& 配置) {
  const std::wstring 基础 = 连接路径(配置.objectDirectory, 逐字节加宽(配置.sha256));
  return {基础 + L".object", 基础 + L".part", 基础 + L".part.json", 基础 + L".part.json.bak"};
}

bool 存在(const std::wstring& 路径) {
  platform::文件信息 信息;
  return 文件调用().查询(路径, &信息) && 信息.存在;
}

std::uint32_t 限为32位(std::uint64_t 值) {
  return 值 > std::numeric_limits<std::uint32_t>::max() ? std::numeric_limits<std::uint32_t>::max()
                                                       : static_cast<std::uint32_t>(值);
}

下载断点状态 新断点(const 下载对象配置& 配置) {
  下载断点状态 断点;
  断点.hash = 配置.sha256;
  断点.targetSize = 配置.size;
  return 断点;
}

// Keeps the checkpoint only when it describes exactly the .part that is there; anything
// else (a crash between a truncation and the next checkpoint, a foreign file) starts over.
下载断点状态 决定续传(const 下载对象配置& 配置, const 下载文件路径& 路径) {
  下载断点状态 断点;
  std::uint64_t 部分大小 = 0;
  if (读取下载断点状态(路径.断点, &断点) && 取文件大小(路径.部分, &部分大小) &&
      断点.hash == 配置.sha256 && 断点.targetSize == 配置.size && 断点.downloaded == 部分大小 &&
      部分大小 <= 配置.size) {
    return 断点;
  }
  文件调用().删除文件(路径.部分);
  文件调用().删除文件(路径.断点);
  文件调用().删除文件(路径.断点备份);
  return 新断点(配置);
}

bool 部分文件哈希正确(const 下载文件路径& 路径, const std::string& sha256) {
  unsigned char 摘要[SHA256字节数];
  return 计算文件SHA256(路径.部分, 摘要) && 转小写十六进制(摘要) == sha256;
}

// The size an attempt resumes from: what .part holds, made durable first so the checkpoint
// written next claims nothing a crash could take away. 0 when .part is missing or cannot
// be measured or flushed, and also when it is longer than the object or complete but
// wrong (it is then deleted). *已完整 tells that .part already holds the whole verified
// object, as after a failed commit: a range request from its end could never complete it.
std::uint64_t 测量部分文件(const 下载对象配置& 配置, const 下载文件路径& 路径, bool* 已完整) {
  *已完整 = false;
  std::uint64_t 大小 = 0;
  if (!存在(路径.部分)) return 0;
  {
    platform::文件 部分;
    if (!部分.打开(路径.部分, platform::打开模式::读写打开或新建) ||
        !文件调用().取大小(部分.get(), &大小)) {
      return 0;
    }
    if (大小 <= 配置.size && !文件调用().刷新(部分.get())) return 0;
  }
  if (大小 < 配置.size) return 大小;
  if (大小 == 配置.size && 部分文件哈希正确(路径, 配置.sha256)) {
    *已完整 = true;
    return 大小;
  }
  文件调用().删除文件(路径.部分);
  return 0;
}

void 填写结果(const 下载文件路径& 路径, std::uint64_t 已下载, const 下载断点状态& 断点,
              下载任务结果* 结果) {
  结果->objectPath = 路径.对象;
  结果->fromCache = false;
  结果->downloadedSize = 已下载;
  结果->retryCount = 限为32位(断点.retryCount);
}

// Publishes a verified .part; the rename is the one step that makes the object visible.
bool 提交对象(const 下载对象配置& 配置, const 下载文件路径& 路径, const 下载断点状态& 断点,
              下载任务结果* 结果, std::wstring* 错误) {
  if (!文件调用().移动并替换(路径.部分, 路径.对象)) return 失败(错误, L"无法原子提交下载对象。");
  文件调用().删除文件(路径.断点);
  文件调用().删除文件(路径.断点备份);
  填写结果(路径, 配置.size, 断点, 结果);
  return 清空并成功(错误);
}

std::string 转为最近错误(const std::wstring& 消息) {
  std::string 文本;
  return 宽转UTF8(消息, &文本) ? 文本 : std::string();
}

// Each URL once, beginning with the one the checkpoint names.
bool 轮换下载(const 下载对象配置& 配置, const 下载文件路径& 路径, 下载断点状态& 断点,
              const 下载时限& 时限, 下载传输& 传输, 下载任务结果* 结果, std::wstring* 错误) {
  const std::uint64_t 数量 = 配置.downloadUrls.size();
  const std::uint64_t 起始序号 = 断点.urlIndex % 数量;
  for (std::uint64_t 第几次 = 0; 第几次 < 数量; ++第几次) {
    if (时限.已到()) return 失败(错误, L"下载任务超过总时限。");
    const std::uint64_t 序号 = (起始序号 + 第几次) % 数量;
    bool 已完整 = false;
    const std::uint64_t 起始大小 = 测量部分文件(配置, 路径, &已完整);
    if (已完整) return 提交对象(配置, 路径, 断点, 结果, 错误);
    断点.downloaded = 起始大小;
    断点.urlIndex = 序号;
    断点.lastError.clear();
    if (!写入下载断点状态(路径.断点, 路径.断点备份, 断点)) return 失败(错误, L"无法初始化下载断点状态。");

    下载尝试 尝试(配置, 路径, &断点, 时限);
    std::wstring 消息;
    const bool 候选 = 尝试.执行(传输, 配置.downloadUrls[static_cast<std::size_t>(序号)], 起始大小, &消息);
    if (断点.retryCount != std::numeric_limits<std::uint64_t>::max()) ++断点.retryCount;
    if (候选) {
      if (部分文件哈希正确(路径, 配置.sha256)) return 提交对象(配置, 路径, 断点, 结果, 错误);
      文件调用().删除文件(路径.部分);
      断点.downloaded = 0;
      消息 = L"下载对象 SHA-256 不匹配。";
    }
    断点.urlIndex = (序号 + 1) % 数量;
    断点.lastError = 转为最近错误(消息);
    if (!写入下载断点状态(路径.断点, 路径.断点备份, 断点)) return 失败(错误, L"无法保存下载失败状态。");
    if (尝试.被时限中止()) return 失败(错误, L"下载任务超过总时限。");
  }
  填写结果(路径, 0, 断点, 结果);
  return 失败(错误, L"所有下载线路均失败，断点已保留。");
}

}  // namespace

bool 下载任务::执行(const 下载对象配置& config, 下载传输* transport, 下载任务结果* result,
                    std::wstring* error) {
  if (!参数有效(config, transport, result)) return 失败(error, L"下载任务参数无效。");
  for (const std::wstring& 地址 : config.downloadUrls) {
    if (!下载地址有效(地址)) return 失败(error, L"下载任务地址不在允许地址内。");
  }
  if (!创建目录树(config.objectDirectory)) return 失败(error, L"无法创建下载缓存目录。");
  const 下载文件路径 路径 = 取文件路径(config);
  const 下载时限 时限{platform::毫秒计时(), config.totalTimeoutMs};

  // Declared before the slot so that it is released after it.
  platform::命名互斥体 对象锁;
  if (!对象锁.打开或创建(下载对象锁前缀 + 逐字节加宽(config.sha256)) ||
      对象锁.加锁(时限.剩余毫秒()) != platform::加锁结果::取得) {
    return 失败(error, L"等待同一下载对象超时。");
  }
  if (缓存对象有效(路径.对象, config.sha256, config.size)) {
    *result = 下载任务结果{路径.对象, true, 0, 0};
    return 清空并成功(error);
  }
  // Anything else under the object's name (a wrong file, a directory) would block the
  // final rename or be served again.
  if (存在(路径.对象)) 隔离缓存对象(路径.对象);
  下载断点状态 断点 = 决定续传(config, 路径);

  if (时限.已到()) return 失败(error, L"等待下载并发名额超时。");
  platform::命名信号量 名额;
  if (!名额.打开或创建(下载名额名称, 下载名额数) ||
      名额.取得名额(时限.剩余毫秒()) != platform::加锁结果::取得) {
    return 失败(error, L"等待下载并发名额超时。");
  }
  return 轮换下载(config, 路径, 断点, 时限, *transport, result, error);
}

}  // namespace tallybell
