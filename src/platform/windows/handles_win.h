// Scoped owners for the Windows resources the platform layer opens: kernel handles, find
// handles, mapped views, COM pointers and the COM apartment. Each owner closes its
// resource exactly once, on every path, and can be moved but not copied.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <utility>

namespace tallybell::platform::windows {

// One owned value whose validity test and closing call come from 特性:
//   值类型, static 值类型 无效值(), static bool 有效(值类型), static void 关闭(值类型).
template <typename 特性>
class 作用域资源 {
 public:
  using 值类型 = typename 特性::值类型;

  作用域资源() noexcept = default;
  explicit 作用域资源(值类型 值) noexcept : 值_(值) {}
  ~作用域资源() { 重置(); }
  作用域资源(const 作用域资源&) = delete;
  作用域资源& operator=(const 作用域资源&) = delete;
  作用域资源(作用域资源&& 其他) noexcept : 值_(其他.交出()) {}
  作用域资源& operator=(作用域资源&& 其他) noexcept {
    if (this != &其他) 重置(其他.交出());
    return *this;
  }

  bool 有效() const noexcept { return 特性::有效(值_); }
  explicit operator bool() const noexcept { return 有效(); }
  值类型 get() const noexcept { return 值_; }

  // Gives up ownership without closing.
  值类型 交出() noexcept { return std::exchange(值_, 特性::无效值()); }
  // Closes the current value (if valid) and takes 新值.
  void 重置(值类型 新值 = 特性::无效值()) noexcept {
    值类型 旧值 = std::exchange(值_, 新值);
    if (特性::有效(旧值)) 特性::关闭(旧值);
  }
  // For calls that return the resource through an out parameter: closes the current
  // value and hands out the address of the empty slot.
  值类型* 接收() noexcept {
    重置();
    return &值_;
  }

 private:
  值类型 值_ = 特性::无效值();
};

// Kernel objects. Creation functions disagree on their failure value (CreateFileW gives
// INVALID_HANDLE_VALUE, CreateMutexW and OpenFileMappingW give NULL), so both count as
// "no handle".
struct 内核句柄特性 {
  using 值类型 = HANDLE;
  static HANDLE 无效值() noexcept { return nullptr; }
  static bool 有效(HANDLE 值) noexcept { return 值 != nullptr && 值 != INVALID_HANDLE_VALUE; }
  static void 关闭(HANDLE 值) noexcept { ::CloseHandle(值); }
};
using 作用域句柄 = 作用域资源<内核句柄特性>;

// FindFirstFileW handles are closed by FindClose, not CloseHandle.
struct 查找句柄特性 {
  using 值类型 = HANDLE;
  static HANDLE 无效值() noexcept { return INVALID_HANDLE_VALUE; }
  static bool 有效(HANDLE 值) noexcept { return 值 != nullptr && 值 != INVALID_HANDLE_VALUE; }
  static void 关闭(HANDLE 值) noexcept { ::FindClose(值); }
};
using 查找句柄 = 作用域资源<查找句柄特性>;

// A view from MapViewOfFile.
struct 映射视图特性 {
  using 值类型 = void*;
  static void* 无效值() noexcept { return nullptr; }
  static bool 有效(void* 值) noexcept { return 值 != nullptr; }
  static void 关闭(void* 值) noexcept { ::UnmapViewOfFile(值); }
};
using 映射视图 = 作用域资源<映射视图特性>;

// An owned reference to a COM interface.
template <typename 接口>
class COM指针 {
 public:
  COM指针() noexcept = default;
  ~COM指针() { 重置(); }
  COM指针(const COM指针&) = delete;
  COM指针& operator=(const COM指针&) = delete;
  COM指针(COM指针&& 其他) noexcept : 指针_(std::exchange(其他.指针_, nullptr)) {}
  COM指针& operator=(COM指针&& 其他) noexcept {
    if (this != &其他) {
      重置();
      指针_ = std::exchange(其他.指针_, nullptr);
    }
    return *this;
  }

  接口* get() const noexcept { return 指针_; }
  接口* operator->() const noexcept { return 指针_; }
  explicit operator bool() const noexcept { return 指针_ != nullptr; }
  void 重置() noexcept {
    if (指针_ != nullptr) std::exchange(指针_, nullptr)->Release();
  }
  // Releases the current reference and hands out the slot for a call that returns one.
  接口** 接收() noexcept {
    重置();
    return &指针_;
  }

 private:
  接口* 指针_ = nullptr;
};

// Joins the calling thread to a single-threaded apartment for the lifetime of the object.
// A thread already in another apartment keeps it (RPC_E_CHANGED_MODE); only a successful
// initialisation is undone.
class COM初始化 {
 public:
  COM初始化() noexcept
      : 结果_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
  ~COM初始化() {
    if (SUCCEEDED(结果_)) ::CoUninitialize();
  }
  COM初始化(const COM初始化&) = delete;
  COM初始化& operator=(const COM初始化&) = delete;

  // True when COM is usable on this thread (newly initialised or already in an apartment).
  bool 可用() const noexcept { return SUCCEEDED(结果_) || 结果_ == RPC_E_CHANGED_MODE; }

 private:
  HRESULT 结果_;
};

}  // namespace tallybell::platform::windows
