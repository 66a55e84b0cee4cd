#include "documents/sha256.h"

#include <memory>
#include <new>

#include "platform/file_system.h"
#include "platform/sha256_engine.h"

namespace tallybell {
namespace {

// The platform's hash call takes a 32-bit length.
constexpr std::uint64_t 最大数据长度 = 4294967295u;
constexpr std::size_t 文件读取块 = 1048576;

void 设置错误(std::wstring* 错误, const wchar_t* 消息) {
  if (错误 != nullptr) *错误 = 消息;
}

void 清除错误(std::wstring* 错误) {
  if (错误 != nullptr) 错误->clear();
}

}  // namespace

bool 计算数据SHA256(const void* 数据, std::uint64_t 长度, unsigned char* 摘要,
                    std::wstring* 错误) {
  if (摘要 == nullptr || (数据 == nullptr && 长度 > 0) || 长度 > 最大数据长度) {
    设置错误(错误, L"SHA-256 数据参数无效。");
    return false;
  }
  platform::SHA256引擎 引擎;
  const bool 成功 = 引擎.开始() &&
                    (长度 == 0 || 引擎.更新(数据, static_cast<std::size_t>(长度))) &&
                    引擎.完成(摘要);
  if (!成功) {
    设置错误(错误, L"计算数据 SHA-256 失败。");
    return false;
  }
  清除错误(错误);
  return true;
}

bool 计算文件SHA256(const std::wstring& 路径, unsigned char* 摘要, std::wstring* 错误) {
  if (摘要 == nullptr || 路径.empty()) {
    设置错误(错误, L"SHA-256 输入参数无效。");
    return false;
  }
  platform::文件 文件;
  if (!文件.打开(路径, platform::打开模式::顺序读取已有)) {
    设置错误(错误, L"无法打开待计算 SHA-256 的文件。");
    return false;
  }

  platform::SHA256引擎 引擎;
  bool 成功 = 引擎.开始();
  std::unique_ptr<unsigned char[]> 缓冲;
  if (成功) 缓冲.reset(new (std::nothrow) unsigned char[文件读取块]);
  成功 = 成功 && 缓冲 != nullptr;
  while (成功) {
    std::size_t 已读 = 0;
    if (!platform::文件调用().读取(文件.get(), 缓冲.get(), 文件读取块, &已读) ||
        已读 > 文件读取块) {
      成功 = false;
    } else if (已读 == 0) {
      成功 = 引擎.完成(摘要);
      break;
    } else {
      成功 = 引擎.更新(缓冲.get(), 已读);
    }
  }
  if (!成功) {
    设置错误(错误, L"计算文件 SHA-256 失败。");
    return false;
  }
  清除错误(错误);
  return true;
}

std::string 转小写十六进制(const unsigned char* 摘要) {
  static constexpr char 数字[] = "0123456789abcdef";
  std::string 结果;
  结果.reserve(SHA256字节数 * 2);
  for (std::size_t i = 0; i < SHA256字节数; ++i) {
    结果.push_back(数字[摘要[i] >> 4]);
    结果.push_back(数字[摘要[i] & 0x0F]);
  }
  return 结果;
}

namespace {

template <typename 文本类型>
bool 是小写SHA256字符(const 文本类型& 文本) {
  if (文本.size() != 64) return false;
  for (const auto 字符 : 文本) {
    if (!((字符 >= '0' && 字符 <= '9') || (字符 >= 'a' && 字符 <= 'f'))) return false;
  }
  return true;
}

}  // namespace

bool 是小写SHA256文本(const std::string& 文本) { return 是小写SHA256字符(文本); }
bool 是小写SHA256文本(const std::wstring& 文本) { return 是小写SHA256字符(文本); }

}  // namespace tallybell
