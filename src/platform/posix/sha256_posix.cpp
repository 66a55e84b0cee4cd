#include "platform/sha256_engine.h"

#include <openssl/evp.h>

#include <cstdint>

namespace tallybell::platform {

struct SHA256引擎::状态 {
  struct 释放上下文 {
    void operator()(EVP_MD_CTX* 上下文) const { EVP_MD_CTX_free(上下文); }
  };
  std::unique_ptr<EVP_MD_CTX, 释放上下文> 上下文;
  // OpenSSL would take more data after the final step and hash it into nothing useful;
  // as on Windows, the engine must be started again first.
  bool 已开始 = false;
};

SHA256引擎::SHA256引擎() : 状态_(std::make_unique<状态>()) {}
SHA256引擎::~SHA256引擎() = default;

bool SHA256引擎::开始() {
  if (!状态_->上下文) 状态_->上下文.reset(EVP_MD_CTX_new());
  状态_->已开始 = 状态_->上下文 && EVP_DigestInit_ex(状态_->上下文.get(), EVP_sha256(), nullptr) == 1;
  return 状态_->已开始;
}

bool SHA256引擎::更新(const void* 数据, std::size_t 长度) {
  if (!状态_->已开始 || 长度 > 0xFFFFFFFFu) return false;
  return 长度 == 0 || EVP_DigestUpdate(状态_->上下文.get(), 数据, 长度) == 1;
}

bool SHA256引擎::完成(unsigned char 摘要[32]) {
  unsigned int 长度 = 0;
  if (!状态_->已开始) return false;
  状态_->已开始 = false;
  if (EVP_DigestFinal_ex(状态_->上下文.get(), 摘要, &长度) != 1) return false;
  return 长度 == 32;
}

}  // namespace tallybell::platform
