// Helpers shared by the Windows platform tests: Wine detection, a private temporary
// directory and whole-file reads and writes done with plain Win32 calls (independent of
// the file table under test).
#pragma once

#include <windows.h>
#include <objbase.h>

#include <string>

namespace tallybell::测试 {

// Wine exports this from its ntdll; Windows does not.
inline bool 在Wine下运行() {
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

inline std::wstring 新GUID文本() {
  GUID 值{};
  wchar_t 文本[64] = {};
  if (::CoCreateGuid(&值) != S_OK || ::StringFromGUID2(值, 文本, 64) == 0) return L"no-guid";
  std::wstring 结果(文本);
  return 结果.substr(1, 结果.size() - 2);  // without the braces
}

// Removes a file or directory tree, clearing read-only attributes on the way. Links are
// removed themselves, never followed.
inline void 删除树(const std::wstring& 路径) {
  DWORD 属性 = ::GetFileAttributesW(路径.c_str());
  if (属性 == INVALID_FILE_ATTRIBUTES) return;
  if (属性 & FILE_ATTRIBUTE_READONLY) ::SetFileAttributesW(路径.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!(属性 & FILE_ATTRIBUTE_DIRECTORY)) {
    ::DeleteFileW(路径.c_str());
    return;
  }
  if (!(属性 & FILE_ATTRIBUTE_REPARSE_POINT)) {
    WIN32_FIND_DATAW 项{};
    HANDLE 查找 = ::FindFirstFileW((路径 + L"\\*").c_str(), &项);
    if (查找 != INVALID_HANDLE_VALUE) {
      do {
        std::wstring 名称(项.cFileName);
        if (名称 != L"." && 名称 != L"..") 删除树(路径 + L"\\" + 名称);
      } while (::FindNextFileW(查找, &项));
      ::FindClose(查找);
    }
  }
  ::RemoveDirectoryW(路径.c_str());
}

// A fresh directory below the user's temporary folder, removed with its content.
class 临时目录 {
 public:
  临时目录() {
    wchar_t 基础[MAX_PATH + 1] = {};
    DWORD 长度 = ::GetTempPathW(MAX_PATH + 1, 基础);
    路径_ = std::wstring(基础, 长度) + L"tallybell-test-" + 新GUID文本();
    ::CreateDirectoryW(路径_.c_str(), nullptr);
  }
  ~临时目录() { 删除树(路径_); }
  临时目录(const 临时目录&) = delete;
  临时目录& operator=(const 临时目录&) = delete;

  const std::wstring& 路径() const { return 路径_; }
  std::wstring 下(const std::wstring& 名称) const { return 路径_ + L"\\" + 名称; }

 private:
  std::wstring 路径_;
};

inline bool 写文件(const std::wstring& 路径, const std::string& 内容) {
  HANDLE 句柄 = ::CreateFileW(路径.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
  if (句柄 == INVALID_HANDLE_VALUE) return false;
  DWORD 写了 = 0;
  BOOL 成功 = ::WriteFile(句柄, 内容.data(), static_cast<DWORD>(内容.size()), &写了, nullptr);
  ::CloseHandle(句柄);
  return 成功 && 写了 == 内容.size();
}

// The file's content, or "<missing>" when it cannot be opened.
inline std::string 读文件(const std::wstring& 路径) {
  HANDLE 句柄 = ::CreateFileW(路径.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (句柄 == INVALID_HANDLE_VALUE) return "<missing>";
  std::string 内容;
  char 缓冲[4096];
  DWORD 读到 = 0;
  while (::ReadFile(句柄, 缓冲, sizeof 缓冲, &读到, nullptr) && 读到 > 0) 内容.append(缓冲, 读到);
  ::CloseHandle(句柄);
  return 内容;
}

inline bool 存在(const std::wstring& 路径) {
  return ::GetFileAttributesW(路径.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace tallybell::测试
