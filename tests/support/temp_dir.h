// A fresh directory per test, removed with everything in it afterwards.
#pragma once

#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace tallybell::测试 {

class 测试临时目录 {
 public:
  测试临时目录() {
    std::random_device 随机;
    std::error_code 错误;
    do {
      路径_ = std::filesystem::temp_directory_path() / ("tallybell-test-" + std::to_string(随机()) + std::to_string(随机()));
    } while (!std::filesystem::create_directory(路径_, 错误));
  }
  ~测试临时目录() {
    std::error_code 错误;
    // Tests may leave read-only files behind; make them writable so removal succeeds.
    for (auto it = std::filesystem::recursive_directory_iterator(路径_, 错误);
         !错误 && it != std::filesystem::recursive_directory_iterator(); it.increment(错误)) {
      if (!it->is_symlink()) {
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, 错误);
      }
    }
    std::filesystem::remove_all(路径_, 错误);
  }
  测试临时目录(const 测试临时目录&) = delete;
  测试临时目录& operator=(const 测试临时目录&) = delete;

  const std::filesystem::path& 路径() const { return 路径_; }
  std::filesystem::path 子路径(const std::string& 名称) const { return 路径_ / std::filesystem::u8path(名称); }
  // The wide form of a child path, as the update core takes paths.
  std::wstring 宽路径(const std::string& 名称 = {}) const {
    return 名称.empty() ? 路径_.wstring() : 子路径(名称).wstring();
  }

 private:
  std::filesystem::path 路径_;
};

}  // namespace tallybell::测试
