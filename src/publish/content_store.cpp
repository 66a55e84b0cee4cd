#include "publish/content_store.h"

#include "download/object_cache.h"
#include "platform/file_system.h"
#include "publish/file_stream.h"
#include "storage/files.h"
#include "storage/paths.h"

namespace tallybell {
namespace {

using platform::文件调用;

bool 存在(const std::wstring& 路径) {
  platform::文件信息 信息;
  return 文件调用().查询(路径, &信息) && 信息.存在;
}

// What is at 路径 compared with the wanted object.
对象存放结果 检查已有对象(const std::wstring& 路径, const std::string& sha256, std::uint64_t 大小) {
  return 缓存对象有效(路径, sha256, 大小) ? 对象存放结果::已存在 : 对象存放结果::已损坏;
}

}  // namespace

对象存放结果 存放对象(const std::wstring& 对象目录, const std::wstring& 源文件, const std::string& sha256,
                      std::uint64_t 大小) {
  const std::wstring 目标 = 缓存对象路径(对象目录, sha256);
  if (存在(目标)) return 检查已有对象(目标, sha256, 大小);
  if (!创建目录树(对象目录)) return 对象存放结果::失败;

  const std::wstring 临时 = 临时文件名(目标);
  platform::文件 副本;
  if (!副本.打开(临时, platform::打开模式::独占新建写入)) return 对象存放结果::失败;
  std::string 副本哈希;
  std::uint64_t 字节数 = 0;
  const 流结果 流 = 流式处理文件(源文件, &副本, nullptr, &副本哈希, &字节数);
  const bool 已刷新 = 流 == 流结果::成功 && 文件调用().刷新(副本.get());
  副本.重置();
  if (!已刷新 || 副本哈希 != sha256 || 字节数 != 大小) {
    文件调用().删除文件(临时);
    return 流 == 流结果::成功 && 已刷新 ? 对象存放结果::源已改变 : 对象存放结果::失败;
  }
  if (文件调用().移动不替换(临时, 目标)) return 对象存放结果::新写入;
  文件调用().删除文件(临时);
  // Another publisher may have stored the same object meanwhile.
  return 存在(目标) ? 检查已有对象(目标, sha256, 大小) : 对象存放结果::失败;
}

新文件结果 写入新文件(const std::wstring& 目标, const std::string& 内容) {
  const auto 比较已有 = [&] {
    std::string 已有;
    if (!读取整个文件(目标, &已有)) return 新文件结果::不同已存在;
    return 已有 == 内容 ? 新文件结果::相同已存在 : 新文件结果::不同已存在;
  };
  if (存在(目标)) return 比较已有();
  const std::wstring 上级 = 父目录(目标);
  if (上级.empty() || !创建目录树(上级)) return 新文件结果::失败;
  const std::wstring 临时 = 临时文件名(目标);
  {
    platform::文件 输出;
    if (!输出.打开(临时, platform::打开模式::独占新建写入)) return 新文件结果::失败;
    std::size_t 位置 = 0;
    bool 成功 = true;
    while (成功 && 位置 < 内容.size()) {
      std::size_t 已写 = 0;
      成功 = 文件调用().写入(输出.get(), 内容.data() + 位置, 内容.size() - 位置, &已写) && 已写 > 0;
      位置 += 已写;
    }
    if (!成功 || !文件调用().刷新(输出.get())) {
      输出.重置();
      文件调用().删除文件(临时);
      return 新文件结果::失败;
    }
  }
  if (文件调用().移动不替换(临时, 目标)) return 新文件结果::已写入;
  文件调用().删除文件(临时);
  return 存在(目标) ? 比较已有() : 新文件结果::失败;
}

}  // namespace tallybell
