// Owns one POSIX file descriptor, with the owners' vocabulary: get, 有效, 交出, 重置.
#pragma once

#include <unistd.h>

namespace tallybell::platform {

class 唯一文件描述符 {
 public:
  唯一文件描述符() = default;
  explicit 唯一文件描述符(int 描述符) : 描述符_(描述符) {}
  ~唯一文件描述符() { 重置(); }
  唯一文件描述符(const 唯一文件描述符&) = delete;
  唯一文件描述符& operator=(const 唯一文件描述符&) = delete;
  唯一文件描述符(唯一文件描述符&& 其他) noexcept : 描述符_(其他.交出()) {}
  唯一文件描述符& operator=(唯一文件描述符&& 其他) noexcept {
    if (this != &其他) 重置(其他.交出());
    return *this;
  }

  int get() const { return 描述符_; }
  bool 有效() const { return 描述符_ >= 0; }
  int 交出() {
    int 描述符 = 描述符_;
    描述符_ = -1;
    return 描述符;
  }
  void 重置(int 新描述符 = -1) {
    if (描述符_ >= 0) ::close(描述符_);
    描述符_ = 新描述符;
  }

 private:
  int 描述符_ = -1;
};

}  // namespace tallybell::platform
