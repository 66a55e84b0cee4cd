// Copies the bytes of one open file into another on POSIX, the cheapest way the two file
// systems allow.
#pragma once

namespace tallybell::platform {

// Copies everything from the current position of 输入 to the current position of 输出.
// First asks the file system to share the blocks (FICLONE: btrfs, XFS, bcachefs), then to
// copy inside the kernel (copy_file_range), and falls back to reading and writing where
// neither is possible, as between two different file systems, which copy_file_range
// refuses with EXDEV. False with errno set when a read or write fails.
bool 复制文件内容(int 输入, int 输出);

}  // namespace tallybell::platform
