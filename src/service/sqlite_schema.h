// Versioned schema of the SQLite store: each upgrade step runs once, in order, inside one
// transaction with the version bump, so a store is never left half upgraded.
#pragma once

#include <string>

#include "service/sqlite_handles.h"

namespace tallybell::服务 {

// Brings the schema to the newest version. False (with a message) on a failure or when
// the file was written by a newer service than this one.
bool 升级SQLite结构(SQLite连接& 连接, std::string* 错误);

}  // namespace tallybell::服务
