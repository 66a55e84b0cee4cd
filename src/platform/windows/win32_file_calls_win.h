// The Win32 file functions beneath the file-call table, reachable through a table of their
// own, so that a test can see the exact path each one receives and can make one fail the
// way Windows does (ReplaceFileW's half-done outcomes cannot be produced on demand).
#pragma once

#include <windows.h>

namespace tallybell::platform::windows {

struct Win32文件函数 {
  decltype(&::CreateFileW) CreateFileW;
  decltype(&::GetFileAttributesExW) GetFileAttributesExW;
  decltype(&::GetFileAttributesW) GetFileAttributesW;
  decltype(&::SetFileAttributesW) SetFileAttributesW;
  decltype(&::FindFirstFileW) FindFirstFileW;
  decltype(&::CreateDirectoryW) CreateDirectoryW;
  decltype(&::DeleteFileW) DeleteFileW;
  decltype(&::RemoveDirectoryW) RemoveDirectoryW;
  decltype(&::MoveFileExW) MoveFileExW;
  decltype(&::ReplaceFileW) ReplaceFileW;
  decltype(&::CopyFileW) CopyFileW;
};

// The table in use, the system's functions unless a test replaced some; tests put the
// originals back afterwards.
Win32文件函数& Win32文件调用();

}  // namespace tallybell::platform::windows
