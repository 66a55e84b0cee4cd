// Versioned schema of the PostgreSQL store: each upgrade step runs once, in order, inside
// one transaction with the version bump, under an advisory lock, so instances starting
// together never run a step twice and a database is never left half upgraded.
#pragma once

#include <string>

#include "service/pg_handles.h"

namespace tallybell::服务 {

// Brings the schema to the newest version. False (with a message) on a failure or when
// the database was written by a newer service than this one.
bool 升级PG结构(PG会话& 会话, std::string* 错误);

}  // namespace tallybell::服务
