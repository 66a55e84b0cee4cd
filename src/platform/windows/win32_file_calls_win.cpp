#include "platform/windows/win32_file_calls_win.h"

namespace tallybell::platform::windows {

Win32文件函数& Win32文件调用() {
  static Win32文件函数 表{::CreateFileW,      ::GetFileAttributesExW, ::GetFileAttributesW, ::SetFileAttributesW,
                          ::FindFirstFileW,   ::CreateDirectoryW,     ::DeleteFileW,        ::RemoveDirectoryW,
                          ::MoveFileExW,      ::ReplaceFileW,         ::CopyFileW};
  return 表;
}

}  // namespace tallybell::platform::windows
