// One transfer of a download task: the response head and body checks that decide what of
// the answer may go into "<sha256>.part", with a checkpoint rewrite after every chunk.
#pragma once

#include <cstdint>
#include <string>

#include "download/checkpoint.h"
#include "download/download_task.h"
#include "platform/file_system.h"

namespace tallybell {

// The files of one object.
struct 下载文件路径 {
  std::wstring 对象;      // <h>.object
  std::wstring 部分;      // <h>.part
  std::wstring 断点;      // <h>.part.json
  std::wstring 断点备份;  // <h>.part.json.bak
};

// The task's clock: the start tick and the total limit.
struct 下载时限 {
  std::uint64_t 起点 = 0;
  std::uint32_t 总毫秒 = 0;
  bool 已到() const;
  // Milliseconds left, clamped below the platforms' "wait forever" value.
  std::uint32_t 剩余毫秒() const;
};

class 下载尝试 {
 public:
  下载尝试(const 下载对象配置& 配置, const 下载文件路径& 路径, 下载断点状态* 断点, const 下载时限& 时限)
      : 配置_(配置), 路径_(路径), 断点_(*断点), 时限_(时限) {}
  下载尝试(const 下载尝试&) = delete;
  下载尝试& operator=(const 下载尝试&) = delete;

  // Fetches 地址 from 起始大小 (the current size of .part) through 传输, then flushes and
  // closes .part. True when the attempt produced a candidate: .part holds exactly the
  // object's size, the bytes of this attempt match a declared Content-Length, and the
  // transfer ended well or at least its head was accepted. *消息 receives the transport's
  // message (empty when it ended well).
  bool 执行(下载传输& 传输, const std::wstring& 地址, std::uint64_t 起始大小, std::wstring* 消息);

  // True when the total time limit stopped the transfer.
  bool 被时限中止() const { return 被时限中止_; }

 private:
  bool 检查响应头(const 下载响应& 响应, std::wstring* 错误);
  bool 打开部分文件(bool 新建, std::uint64_t 偏移, std::wstring* 错误);
  bool 接收正文(const unsigned char* 数据, std::uint64_t 长度, std::wstring* 错误);
  bool 写入正文(const unsigned char* 数据, std::uint64_t 长度);
  bool 时限已到(std::wstring* 错误);

  const 下载对象配置& 配置_;
  const 下载文件路径& 路径_;
  下载断点状态& 断点_;
  const 下载时限& 时限_;
  std::uint64_t 起始大小_ = 0;
  platform::文件 部分文件_;
  bool 已接受头_ = false;
  bool 有声明长度_ = false;
  std::uint64_t 声明长度_ = 0;
  std::uint64_t 本次字节_ = 0;
  bool 被时限中止_ = false;
};

// The size of the file at 路径; false when it cannot be opened or measured.
bool 取文件大小(const std::wstring& 路径, std::uint64_t* 大小);

}  // namespace tallybell
