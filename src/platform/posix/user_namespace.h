// The per-user directory that stands in for the per-session kernel object namespace:
// named locks, download slots and the diagnostic channel live here as files.
#pragma once

#include <string>

namespace tallybell::platform {

// The directory's path without touching the file system: "$XDG_RUNTIME_DIR/Tallybell"
// when that variable holds an absolute path, else "/tmp/Tallybell-<uid>".
std::string 用户命名空间路径();

// The same path, with the directory created (mode 0700) when missing. False, with
// *目录 cleared, when it cannot be created (its parent must exist) or when what is there
// is a symbolic link, not a directory, or owned by another user, since a directory that
// someone else controls could hand us their files under our names.
bool 取用户命名空间目录(std::string* 目录);

}  // namespace tallybell::platform
