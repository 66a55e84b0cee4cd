// SHA-256 through the CNG primitive provider.
#include "platform/sha256_engine.h"

#include <cstdint>
#include <memory>
#include <new>

#include "platform/windows/cng_handles_win.h"

namespace tallybell::platform {
namespace {

constexpr DWORD 摘要字节数 = 32;

bool 读取DWORD属性(BCRYPT_ALG_HANDLE 算法, const wchar_t* 属性, DWORD* 值) {
  ULONG 长度 = 0;
  return windows::CNG成功(::BCryptGetProperty(算法, 属性, reinterpret_cast<PUCHAR>(值), sizeof *值, &长度, 0)) &&
         长度 == sizeof *值;
}

}  // namespace

// Member order is destruction order in reverse: the hash goes first, then the object
// buffer it lives in, then the provider.
struct SHA256引擎::状态 {
  windows::CNG算法句柄 算法;
  std::unique_ptr<UCHAR[]> 对象;
  windows::CNG哈希句柄 哈希;

  void 清空() {
    哈希.重置();
    对象.reset();
    算法.重置();
  }
};

SHA256引擎::SHA256引擎() : 状态_(std::make_unique<状态>()) {}

SHA256引擎::~SHA256引擎() { 状态_->清空(); }

bool SHA256引擎::开始() {
  状态& s = *状态_;
  s.清空();
  DWORD 对象长度 = 0, 摘要长度 = 0;
  if (!windows::CNG成功(::BCryptOpenAlgorithmProvider(s.算法.接收(), BCRYPT_SHA256_ALGORITHM, nullptr, 0)) ||
      !读取DWORD属性(s.算法.get(), BCRYPT_OBJECT_LENGTH, &对象长度) ||
      !读取DWORD属性(s.算法.get(), BCRYPT_HASH_LENGTH, &摘要长度) || 摘要长度 != 摘要字节数) {
    s.清空();
    return false;
  }
  s.对象.reset(new (std::nothrow) UCHAR[对象长度 > 0 ? 对象长度 : 1]);
  if (!s.对象 || !windows::CNG成功(::BCryptCreateHash(s.算法.get(), s.哈希.接收(), s.对象.get(), 对象长度, nullptr, 0, 0))) {
    s.清空();
    return false;
  }
  return true;
}

bool SHA256引擎::更新(const void* 数据, std::size_t 长度) {
  状态& s = *状态_;
  if (!s.哈希 || 长度 > MAXDWORD) return false;
  if (长度 == 0) return true;
  // BCryptHashData does not write through its input pointer; the parameter is merely
  // not declared const.
  auto* 输入 = static_cast<PUCHAR>(const_cast<void*>(数据));
  return windows::CNG成功(::BCryptHashData(s.哈希.get(), 输入, static_cast<ULONG>(长度), 0));
}

bool SHA256引擎::完成(unsigned char 摘要[32]) {
  状态& s = *状态_;
  if (!s.哈希) return false;
  bool 完成了 = windows::CNG成功(::BCryptFinishHash(s.哈希.get(), 摘要, 摘要字节数, 0));
  s.清空();
  return 完成了;
}

}  // namespace tallybell::platform
